// The virtual device's driver: what its two halves share. entry.cpp has DriverEntry, AddDevice,
// Plug and Play and the control device; io.cpp serves the device's own requests: create, close,
// read, write and the ID requests, with cancellation and the slow device's timer.
//
// Locking: each instance has a spin lock around its model and its lists of pending IRPs. An IRP is
// completed only after that lock is released; the cancel routine releases the cancel spin lock
// before it takes the instance's lock. Instances live on a global list under its own spin lock.
#ifndef USB1284_TESTS_DEVICE_DRIVER_DRIVER_H
#define USB1284_TESTS_DEVICE_DRIVER_DRIVER_H

#include "device.h"
#include "kernel.h"

namespace vdev_driver {

using namespace kernel;

inline constexpr uint32_t kPoolTag = 0x56343231;  // '124V' in a pool dump

struct Instance;

// A slow device holds each read and write in one of these for its delay. Each has its own timer,
// set only from a dispatch routine with no lock held: under Wine, setting a timer that has fired
// before waits for its DPC to return, which must never wait for us in turn.
struct Delay {
  KTIMER timer;
  KDPC dpc;
  Instance* instance;
  IRP* irp;    // the IRP held, null once its time is over, or when it was cancelled or closed
  bool armed;  // set until its DPC has taken the slot back
};
inline constexpr unsigned kDelays = 32;

// One device of the table.
struct Instance {
  Instance* next;  // on the live list, then on the removed list
  DEVICE_OBJECT* fdo;
  DEVICE_OBJECT* pdo;
  DEVICE_OBJECT* lower;
  UNICODE_STRING links[2];  // the interfaces' symbolic links, in the order of the classes
  uint32_t linkCount;
  bool started;  // IRP_MN_START_DEVICE seen
  bool removed;  // surprise removal or removal seen

  KSPIN_LOCK lock;
  // Pending IRPs, linked through Tail.Overlay.ListEntry, each in exactly one list: a slow
  // device's operations waiting for their time, then reads and writes waiting for the stream.
  LIST_ENTRY delayed;
  LIST_ENTRY reads;
  LIST_ENTRY writes;
  uint32_t pending;
  Delay delays[kDelays];

  vdev::Device model;
  // The stream's storage follows the instance in the same allocation.
};

// The device extension of every device object of the driver.
struct Extension {
  Instance* instance;  // null for the control device
};

inline Instance* InstanceOf(DEVICE_OBJECT* device) {
  return static_cast<Extension*>(device->DeviceExtension)->instance;
}

// A lock held in a scope.
class Locked {
 public:
  explicit Locked(KSPIN_LOCK* lock) : lock_(lock), irql_(KfAcquireSpinLock(lock)) {}
  ~Locked() { KfReleaseSpinLock(lock_, irql_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  KSPIN_LOCK* lock_;
  KIRQL irql_;
};

// Sets the IRP's outcome and completes it; returns its status, as a dispatch routine does.
NTSTATUS Complete(IRP* irp, NTSTATUS status, uintptr_t information);

// io.cpp
void InitializeIo(Instance* instance);
NTSTATUS DispatchCreate(Instance* instance, IRP* irp);
NTSTATUS DispatchClose(Instance* instance, IRP* irp);
NTSTATUS DispatchReadWrite(Instance* instance, IRP* irp);
NTSTATUS DispatchDeviceIoControl(Instance* instance, IRP* irp);
// Any other request: a cleanup succeeds, the rest fail with STATUS_INVALID_DEVICE_REQUEST.
NTSTATUS DispatchOther(Instance* instance, IRP* irp);
// The device goes away (unplug or removal): every pending read and write ends with
// STATUS_DEVICE_DOES_NOT_EXIST, and the model's files are no longer served.
void Unplug(Instance* instance);
// Cancels the slow device's timers; with no lock held, before the instance is freed.
void StopTimers(Instance* instance);

}  // namespace vdev_driver

#endif  // USB1284_TESTS_DEVICE_DRIVER_DRIVER_H
