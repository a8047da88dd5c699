#include "simulated_machine.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

namespace probe {

const char kPrinterPath[] =
    "\\\\?\\usb#vid_0b1e&pid_2301#nw2301a0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kLabelPrinterPath[] =
    "\\\\?\\usb#vid_2c7a&pid_0310#ks0310-7781#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kScannerPath[] =
    "\\\\?\\usb#vid_0b1e&pid_6001#nw6001b0042#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kModemPath[] =
    "\\\\?\\usb#vid_0b1e&pid_4f01#nw4f01c0007#{75704901-8ad0-11d3-b04b-00104b02010e}";

namespace {

// What the modem says to one command line, one string per line of its answer.
std::vector<std::string> Answer(std::string command) {
  for (char& c : command) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (command == "AT") return {"\r\n", "OK\r\n"};
  if (command == "ATI") {
    return {"\r\n", "Northwind FaxLink 56 V.34 fax modem, firmware 2.14\r\n", "\r\n", "OK\r\n"};
  }
  if (command == "AT+FCLASS=?") return {"\r\n", "0,1,2,2.0\r\n", "\r\n", "OK\r\n"};
  return {"\r\n", "ERROR\r\n"};
}

// A modem collects what it is sent into command lines, each ended by a carriage return, and
// answers each line after a short delay, its answers queued one after the other.
struct Modem {
  std::string line;
  uint64_t busyUntil = 0;

  void Receive(simwin::Machine& machine, simwin::Device& device, const std::string& bytes) {
    for (char c : bytes) {
      if (c == '\n') continue;
      if (c != '\r') {
        line.push_back(c);
        continue;
      }
      if (!line.empty()) Respond(machine, device);
      line.clear();
    }
  }

  void Respond(simwin::Machine& machine, simwin::Device& device) {
    const uint64_t now = machine.Now();
    uint64_t at = std::max(now + kModemAnswerDelayMs, busyUntil + kModemLineGapMs);
    for (const std::string& answerLine : Answer(line)) {
      machine.Send(device, answerLine, static_cast<DWORD>(at - now));
      busyUntil = at;
      at += kModemLineGapMs;
    }
  }
};

simwin::Device& AddWithId(simwin::Machine& machine, const char* path, const GUID& cls,
                          const std::string& id) {
  simwin::Device& device = machine.AddDevice(path, {cls});
  device.idReply = simwin::IoctlReply::Bytes(id);
  return device;
}

}  // namespace

void AddBuiltInDevices(simwin::Machine& machine) {
  AddWithId(machine, kPrinterPath, simwin::kUsbPrintClass,
            "MFG:Northwind;MDL:LaserPress 2300;CMD:PCL,PJL;CLS:PRINTER;");

  // This driver answers only the second ID request, with the length in front of the ID.
  const std::string labelId = "MFG:Kestrel Systems;MODEL:LabelJet 310;CMD:ZPL;";
  simwin::Device& label = machine.AddDevice(kLabelPrinterPath, {simwin::kUsbPrintClass});
  label.usbPrintReply = simwin::IoctlReply::Bytes(std::string(1, '\0') +
                                                  static_cast<char>(labelId.size() + 2) + labelId);

  // A device whose driver answers no ID request.
  machine.AddDevice(kScannerPath, {simwin::kUsbPrintClass});

  simwin::Device& modem = AddWithId(machine, kModemPath, simwin::kSecondClass,
                                    "MFG:Northwind;MDL:FaxLink 56 Modem;CMD:AT;CLS:MODEM;");
  auto state = std::make_shared<Modem>();
  modem.onReceive = [state](simwin::Machine& m, simwin::Device& d, const std::string& bytes) {
    state->Receive(m, d, bytes);
  };
}

}  // namespace probe
