// EnumerateDevices against one device whose ID driver answers as the input says.
//
// Input:
//   flags        bit 0: the size request succeeds; bit 1: double-byte code page; bit 2: the device
//                is under both interface classes; bit 3: the sink stops after its first report;
//                bit 4: the size reply claims a byte count of its own; bit 5: one allocation fails
//   size         32-bit value, then a byte: how many of its 4 bytes are returned
//   claimed      32-bit, when bit 4 is set
//   fault        a byte: which allocation fails, when bit 5 is set
//   two ID requests, first IOCTL_PAR_QUERY_DEVICE_ID then IOCTL_USBPRINT_GET_1284_ID, each:
//                a byte (bit 0: succeeds; bit 1: claims a count), the 32-bit claimed count when
//                bit 1 is set, a 16-bit length and that many reply bytes
//
// The sink copies every string it is given to its end. Checks: with no fault, the device is
// reported exactly when the text the driver's reply makes names a manufacturer and a model, with
// exactly those values, once per class unless the sink stops; with a fault, it is reported
// correctly or not at all. Either way nothing is left behind on the machine.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "discovery/parse.h"
#include "input.h"
#include "machine.h"
#include "usb1284.h"

namespace {

const char kPath[] = "\\\\?\\usb#vid_0001&pid_0002#fz#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

simwin::IoctlReply ReadRequest(fuzz::Input& in) {
  const uint8_t flags = in.Byte();
  std::optional<DWORD> claimed;
  if (flags & 2) claimed = in.U32();
  simwin::IoctlReply reply =
      flags & 1 ? simwin::IoctlReply::Bytes(in.Bytes(in.U16())) : simwin::IoctlReply::Fail();
  reply.claimed = claimed;
  return reply;
}

// How many bytes the simulated driver places and reports for a request with this capacity.
DWORD Reported(const simwin::IoctlReply& reply, DWORD capacity, DWORD* placed) {
  *placed = std::min<DWORD>(static_cast<DWORD>(reply.bytes.size()), capacity);
  return reply.claimed.value_or(*placed);
}

// The ID text that the driver's answers make, from the rules for an ID reply: the capacity from a
// full 4-byte size reply no larger than 0x10000, else 4096; the first request that succeeds with
// bytes wins; the text ends after the bytes it reports (at most the capacity); a NUL first byte
// reads as '*'. Empty when no request wins. Fresh simulated heap memory is 0xCD throughout, so
// bytes a driver reports but never placed are 0xCD too, or what the first request left there.
std::string ExpectedText(const simwin::Device& d) {
  DWORD capacity = 4096;
  if (d.sizeReply.ok) {
    DWORD placed = 0;
    const DWORD returned = Reported(d.sizeReply, 4, &placed);
    DWORD size = 0;
    std::memcpy(&size, d.sizeReply.bytes.data(), placed);
    if (returned >= 4 && size <= 0x10000) capacity = size;
  }
  std::string buffer(capacity + 1, '\xCD');
  for (const simwin::IoctlReply* reply : {&d.idReply, &d.usbPrintReply}) {
    if (!reply->ok) continue;
    DWORD placed = 0;
    const DWORD n = std::min(Reported(*reply, capacity, &placed), capacity);
    std::copy(reply->bytes.begin(), reply->bytes.begin() + placed, buffer.begin());
    if (n == 0) continue;
    buffer[n] = '\0';
    if (buffer[0] == '\0') buffer[0] = '*';
    return buffer.c_str();
  }
  return "";
}

struct Expectation {
  bool reported = false;
  std::string manufacturer, model, deviceId;
  ptrdiff_t manufacturerAt = 0, modelAt = 0;
};

class CheckingSink : public DeviceSink {
 public:
  CheckingSink(const Expectation& e, int answer) : expected(e), answer(answer) {}

  int OnDevice(const char* manufacturer, const char* model, const char* transport,
               const char* devicePath, const char* deviceId) override {
    ++reports;
    FUZZ_CHECK(expected.reported);
    FUZZ_CHECK(std::string(manufacturer) == expected.manufacturer);
    FUZZ_CHECK(std::string(model) == expected.model);
    FUZZ_CHECK(std::string(transport) == "USB");
    FUZZ_CHECK(std::string(devicePath) == kPath);
    FUZZ_CHECK(std::string(deviceId) == expected.deviceId);
    // The values are read in place, in the ID's own buffer.
    FUZZ_CHECK(manufacturer - deviceId == expected.manufacturerAt);
    FUZZ_CHECK(model - deviceId == expected.modelAt);
    return answer;
  }

  const Expectation& expected;
  int answer;
  int reports = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const DWORD sizeValue = in.U32();
  const DWORD sizeBytes = in.Byte();
  std::optional<DWORD> sizeClaimed;
  if (flags & 16) sizeClaimed = in.U32();
  const int fault = flags & 32 ? 1 + in.Byte() : 0;

  simwin::Machine machine;
  simwin::Scope scope(machine);
  if (flags & 2) machine.UseDoubleByteCodePage();
  std::vector<GUID> classes = {simwin::kUsbPrintClass};
  if (flags & 4) classes.push_back(simwin::kSecondClass);
  simwin::Device& device = machine.AddDevice(kPath, classes);
  if (flags & 1) {
    device.sizeReply = simwin::IoctlReply::Size(sizeValue, sizeBytes);
    device.sizeReply.claimed = sizeClaimed;
  }
  device.idReply = ReadRequest(in);
  device.usbPrintReply = ReadRequest(in);

  // What the host should see, worked out on a copy of the text the reply makes.
  Expectation e;
  std::string text = ExpectedText(device);
  char* manufacturer = nullptr;
  char* model = nullptr;
  if (usb1284::ParseDeviceId(text.data(), &manufacturer, &model)) {
    e.reported = true;
    e.manufacturer = manufacturer;
    e.model = model;
    e.deviceId = text.c_str();
    e.manufacturerAt = manufacturer - text.data();
    e.modelAt = model - text.data();
  }
  const int answer = flags & 8 ? 0 : 1;
  const int expectedReports = !e.reported ? 0 : answer ? static_cast<int>(classes.size()) : 1;

  if (fault) machine.FailCall("HeapAlloc", fault, ERROR_NOT_ENOUGH_MEMORY);
  CheckingSink sink(e, answer);
  const int result = EnumerateDevices(&sink);

  FUZZ_CHECK(result == (sink.reports > 0 ? 1 : 0));
  if (machine.FaultsInjected() == 0) {
    FUZZ_CHECK(sink.reports == expectedReports);
  } else {
    FUZZ_CHECK(sink.reports <= expectedReports);
  }
  FUZZ_CHECK(machine.Leaks().empty());
  FUZZ_CHECK(machine.Hangs() == 0);
  return 0;
}
