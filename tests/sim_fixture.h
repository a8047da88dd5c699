// The fixture every native test starts from: a fresh simulated machine installed on the test's
// thread, and at the end a check that the library left nothing behind on it.
#ifndef USB1284_TESTS_SIM_FIXTURE_H
#define USB1284_TESTS_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine.h"
#include "usb1284.h"

class SimTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(machine.Leaks(), "") << "left behind on the simulated machine";
    EXPECT_EQ(machine.Hangs(), 0) << "a wait would have blocked forever";
  }

  // A device whose driver answers the first ID request with `id`.
  simwin::Device& AddDevice(const std::string& path, const std::string& id,
                            std::vector<GUID> classes = {simwin::kUsbPrintClass}) {
    simwin::Device& device = machine.AddDevice(path, std::move(classes));
    device.idReply = simwin::IoctlReply::Bytes(id);
    return device;
  }

  simwin::Machine machine;
  simwin::Scope scope{machine};
};

// One OnDevice call, with every string copied while it was valid.
struct Report {
  std::string manufacturer, model, transport, devicePath, deviceId;
  bool operator==(const Report& o) const {
    return manufacturer == o.manufacturer && model == o.model && transport == o.transport &&
           devicePath == o.devicePath && deviceId == o.deviceId;
  }
};

inline std::ostream& operator<<(std::ostream& out, const Report& r) {
  return out << "{" << r.manufacturer << ", " << r.model << ", " << r.transport << ", "
             << r.devicePath << ", " << r.deviceId << "}";
}

// A sink that records its reports and answers from a list (1 once the list runs out). An optional
// hook runs inside OnDevice, while the probe still holds the device.
class RecordingSink : public DeviceSink {
 public:
  int OnDevice(const char* manufacturer, const char* model, const char* transport,
               const char* devicePath, const char* deviceId) override {
    reports.push_back({manufacturer, model, transport, devicePath, deviceId});
    if (during) during(devicePath);
    const size_t i = reports.size() - 1;
    return i < answers.size() ? answers[i] : 1;
  }

  std::vector<Report> reports;
  std::vector<int> answers;
  std::function<void(const char*)> during;
};

#endif  // USB1284_TESTS_SIM_FIXTURE_H
