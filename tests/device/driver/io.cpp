// The device's own requests: create, close, read, write and the ID requests.
#include "driver.h"
#include "serve.h"

namespace vdev_driver {
namespace {

inline constexpr NTSTATUS kCancelled = static_cast<NTSTATUS>(vdev::kStatusCancelled);

void InitList(LIST_ENTRY* head) {
  head->Flink = head->Blink = head;
}
bool Empty(const LIST_ENTRY* head) {
  return head->Flink == head;
}
void InsertTail(LIST_ENTRY* head, LIST_ENTRY* entry) {
  entry->Flink = head;
  entry->Blink = head->Blink;
  head->Blink->Flink = entry;
  head->Blink = entry;
}
void RemoveEntry(LIST_ENTRY* entry) {
  entry->Blink->Flink = entry->Flink;
  entry->Flink->Blink = entry->Blink;
  entry->Flink = entry->Blink = entry;
}
LIST_ENTRY* EntryOf(IRP* irp) {
  return &irp->Tail.Overlay.ListEntry;
}
IRP* IrpOf(LIST_ENTRY* entry) {
  return reinterpret_cast<IRP*>(reinterpret_cast<char*>(entry) -
                                offsetof(IRP, Tail.Overlay.ListEntry));
}

// What the driver keeps in an IRP it holds: bytes of a write taken so far, and the delay slot
// of a slow device's operation while it waits for its time.
uint32_t& Taken(IRP* irp) {
  return *reinterpret_cast<uint32_t*>(&irp->Tail.Overlay.DriverContext[0]);
}
Delay*& DelayOf(IRP* irp) {
  return *reinterpret_cast<Delay**>(&irp->Tail.Overlay.DriverContext[1]);
}

uint8_t* BufferOf(IRP* irp) {
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  return static_cast<uint8_t*>(buffer != nullptr ? buffer : irp->UserBuffer);
}
uint32_t LengthOf(IRP* irp) {
  return CurrentStack(irp)->Parameters.Read.Length;
}
bool IsRead(IRP* irp) {
  return CurrentStack(irp)->MajorFunction == kMjRead;
}

// Writes the IRP's log record, under the instance's lock.
void Record(Instance* instance, IRP* irp, NTSTATUS status, uintptr_t information, bool cancelled,
            uint32_t file) {
  IO_STACK_LOCATION* stack = CurrentStack(irp);
  vdev::LogRecord record{};
  record.major = stack->MajorFunction;
  record.cancelled = cancelled ? 1 : 0;
  if (stack->MajorFunction == kMjDeviceControl) {
    record.ioctl = stack->Parameters.DeviceIoControl.IoControlCode;
    record.asked = stack->Parameters.DeviceIoControl.OutputBufferLength;
  } else if (stack->MajorFunction == kMjRead || stack->MajorFunction == kMjWrite) {
    record.asked = stack->Parameters.Read.Length;
  }
  record.returned = static_cast<uint32_t>(information);
  record.status = static_cast<uint32_t>(status);
  record.file = file;
  instance->model.log.Append(record);
}

// Ends an IRP under the instance's lock: logs it and sets its outcome, and puts it on `done`,
// which the caller completes once the lock is released.
void Finish(Instance* instance, IRP* irp, NTSTATUS status, uintptr_t information, bool cancelled,
            LIST_ENTRY* done) {
  Record(instance, irp, status, information, cancelled,
         instance->model.files.Number(CurrentStack(irp)->FileObject));
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  InsertTail(done, EntryOf(irp));
}

void CompleteAll(LIST_ENTRY* done) {
  while (!Empty(done)) {
    IRP* irp = IrpOf(done->Flink);
    RemoveEntry(EntryOf(irp));
    IoCompleteRequest(irp, 0);
  }
}

// Takes a pending IRP off its list, under the instance's lock.
void Take(Instance* instance, IRP* irp) {
  RemoveEntry(EntryOf(irp));
  --instance->pending;
  if (Delay* delay = DelayOf(irp)) {
    delay->irp = nullptr;
    DelayOf(irp) = nullptr;
  }
}

void NTAPI Cancel(DEVICE_OBJECT* device, IRP* irp);

// Gives an IRP claimed with SetCancelRoutine(irp, nullptr) its cancel routine back. False when it
// was cancelled meanwhile and is still ours: the caller ends it as cancelled.
bool Rearm(IRP* irp) {
  SetCancelRoutine(irp, Cancel);
  return !(irp->Cancel && SetCancelRoutine(irp, nullptr) != nullptr);
}

// The instance's lists of reads and writes as vdev::Serve sees them. Under the instance's lock.
struct HeldIrps {
  Instance* instance;
  LIST_ENTRY* done;

  LIST_ENTRY* ListOf(bool reads) { return reads ? &instance->reads : &instance->writes; }
  IRP* First(bool reads) {
    LIST_ENTRY* list = ListOf(reads);
    return Empty(list) ? nullptr : IrpOf(list->Flink);
  }
  IRP* Next(IRP* irp) {
    LIST_ENTRY* next = EntryOf(irp)->Flink;
    return next == ListOf(IsRead(irp)) ? nullptr : IrpOf(next);
  }
  // A null cancel routine: the IRP is being cancelled, and its cancel routine takes it.
  bool Claim(IRP* irp) { return SetCancelRoutine(irp, nullptr) != nullptr; }
  bool Rearm(IRP* irp) { return vdev_driver::Rearm(irp); }
  bool IsRead(IRP* irp) { return vdev_driver::IsRead(irp); }
  uint8_t* Buffer(IRP* irp) { return BufferOf(irp); }
  uint32_t Length(IRP* irp) { return LengthOf(irp); }
  uint32_t* Taken(IRP* irp) { return &vdev_driver::Taken(irp); }
  void End(IRP* irp, uint32_t status, uint32_t information, bool cancelled) {
    Take(instance, irp);
    Finish(instance, irp, static_cast<NTSTATUS>(status), information, cancelled, done);
  }
};

// Offers the pending reads and writes to the stream, and ends those it completes.
void Pump(Instance* instance, LIST_ENTRY* done) {
  HeldIrps held{instance, done};
  vdev::Serve<IRP>(instance->model.stream, held);
}

// Holds an IRP on `list` with a cancel routine, under the instance's lock; `*held` tells whether
// it stayed there, or was found cancelled already. Returns what the dispatch routine returns.
NTSTATUS Hold(Instance* instance, IRP* irp, LIST_ENTRY* list, LIST_ENTRY* done,
              bool* held = nullptr) {
  if (held != nullptr) *held = false;
  if (irp->Cancel) {
    Finish(instance, irp, kCancelled, 0, true, done);
    return kCancelled;
  }
  MarkPending(irp);
  InsertTail(list, EntryOf(irp));
  ++instance->pending;
  SetCancelRoutine(irp, Cancel);
  if (irp->Cancel && SetCancelRoutine(irp, nullptr) != nullptr) {
    Take(instance, irp);
    Finish(instance, irp, kCancelled, 0, true, done);
  } else if (held != nullptr) {
    *held = true;
  }
  return kPending;
}

void NTAPI Cancel(DEVICE_OBJECT* device, IRP* irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Instance* instance = InstanceOf(device);
  LIST_ENTRY done;
  InitList(&done);
  {
    Locked hold(&instance->lock);
    Take(instance, irp);
    Finish(instance, irp, kCancelled, IsRead(irp) ? 0 : Taken(irp), true, &done);
  }
  CompleteAll(&done);
}

// A slow device's operation whose time is over joins the reads or writes waiting for the stream.
void NTAPI DelayOver(KDPC*, void* context, void*, void*) {
  Delay* delay = static_cast<Delay*>(context);
  Instance* instance = delay->instance;
  LIST_ENTRY done;
  InitList(&done);
  {
    Locked hold(&instance->lock);
    if (IRP* irp = delay->irp) {
      RemoveEntry(EntryOf(irp));
      DelayOf(irp) = nullptr;
      delay->irp = nullptr;
      InsertTail(IsRead(irp) ? &instance->reads : &instance->writes, EntryOf(irp));
      Pump(instance, &done);
    }
    delay->armed = false;
  }
  CompleteAll(&done);
}

// Ends, under the instance's lock, every pending IRP for which `match` holds.
template <typename Match>
void EndPending(Instance* instance, NTSTATUS status, bool cancelled, Match match,
                LIST_ENTRY* done) {
  LIST_ENTRY* lists[] = {&instance->delayed, &instance->reads, &instance->writes};
  for (LIST_ENTRY* list : lists) {
    for (LIST_ENTRY* entry = list->Flink; entry != list;) {
      IRP* irp = IrpOf(entry);
      entry = entry->Flink;
      if (!match(irp) || SetCancelRoutine(irp, nullptr) == nullptr) continue;
      Take(instance, irp);
      Finish(instance, irp, status, IsRead(irp) ? 0 : Taken(irp), cancelled, done);
    }
  }
}

}  // namespace

void InitializeIo(Instance* instance) {
  instance->lock = 0;
  InitList(&instance->delayed);
  InitList(&instance->reads);
  InitList(&instance->writes);
  instance->pending = 0;
  for (Delay& delay : instance->delays) {
    KeInitializeTimer(&delay.timer);
    KeInitializeDpc(&delay.dpc, DelayOver, &delay);
    delay.instance = instance;
    delay.irp = nullptr;
    delay.armed = false;
  }
}

void StopTimers(Instance* instance) {
  for (Delay& delay : instance->delays) KeCancelTimer(&delay.timer);
}

NTSTATUS DispatchCreate(Instance* instance, IRP* irp) {
  LIST_ENTRY done;
  InitList(&done);
  {
    Locked hold(&instance->lock);
    instance->model.files.Open(CurrentStack(irp)->FileObject);
    Finish(instance, irp, kSuccess, 0, false, &done);
  }
  CompleteAll(&done);
  return kSuccess;
}

NTSTATUS DispatchClose(Instance* instance, IRP* irp) {
  FILE_OBJECT* file = CurrentStack(irp)->FileObject;
  LIST_ENTRY done;
  InitList(&done);
  {
    Locked hold(&instance->lock);
    // Wine sends no cleanup: what is still pending on the file ends here.
    EndPending(
        instance, kCancelled, true,
        [file](IRP* pending) { return CurrentStack(pending)->FileObject == file; }, &done);
    Finish(instance, irp, kSuccess, 0, false, &done);  // logged with the file's number
    instance->model.files.Close(file);
  }
  CompleteAll(&done);
  return kSuccess;
}

NTSTATUS DispatchReadWrite(Instance* instance, IRP* irp) {
  LIST_ENTRY done;
  InitList(&done);
  NTSTATUS result;
  Delay* armed = nullptr;
  {
    Locked hold(&instance->lock);
    vdev::Device& model = instance->model;
    const NTSTATUS admitted =
        static_cast<NTSTATUS>(model.files.Admit(CurrentStack(irp)->FileObject));
    LIST_ENTRY* queue = IsRead(irp) ? &instance->reads : &instance->writes;
    Taken(irp) = 0;
    DelayOf(irp) = nullptr;
    if (admitted != kSuccess) {
      Finish(instance, irp, admitted, 0, false, &done);
      result = admitted;
    } else if (model.stream.SlowDelayMs() != 0) {
      for (Delay& delay : instance->delays) {
        if (!delay.armed) {
          armed = &delay;
          break;
        }
      }
      if (armed == nullptr) {
        Finish(instance, irp, kInsufficientResources, 0, false, &done);
        result = kInsufficientResources;
      } else {
        bool held;
        result = Hold(instance, irp, &instance->delayed, &done, &held);
        if (held) {
          armed->armed = true;
          armed->irp = irp;
          DelayOf(irp) = armed;
        } else {
          armed = nullptr;
        }
      }
    } else if (!Empty(queue)) {
      // Others wait before it: it waits behind them.
      result = Hold(instance, irp, queue, &done);
      Pump(instance, &done);
    } else {
      const vdev::Stream::Outcome outcome =
          IsRead(irp) ? model.stream.Read(BufferOf(irp), LengthOf(irp))
                      : model.stream.Write(BufferOf(irp), LengthOf(irp), &Taken(irp));
      if (outcome.pending) {
        result = Hold(instance, irp, queue, &done);
      } else {
        result = static_cast<NTSTATUS>(outcome.completion.status);
        Finish(instance, irp, result, outcome.completion.information, false, &done);
      }
      Pump(instance, &done);  // a write feeds waiting reads; a read makes room for writes
    }
  }
  if (armed != nullptr) {
    KeSetTimer(&armed->timer, -10000ll * instance->model.stream.SlowDelayMs(), &armed->dpc);
  }
  CompleteAll(&done);
  return result;
}

NTSTATUS DispatchDeviceIoControl(Instance* instance, IRP* irp) {
  IO_STACK_LOCATION* stack = CurrentStack(irp);
  LIST_ENTRY done;
  InitList(&done);
  NTSTATUS status;
  {
    Locked hold(&instance->lock);
    status = static_cast<NTSTATUS>(instance->model.files.Admit(stack->FileObject));
    vdev::Completion answer{static_cast<uint32_t>(status), 0};
    if (status == kSuccess) {
      answer =
          vdev::AnswerIoctl(instance->model.config, stack->Parameters.DeviceIoControl.IoControlCode,
                            static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer),
                            stack->Parameters.DeviceIoControl.OutputBufferLength);
      status = static_cast<NTSTATUS>(answer.status);
    }
    Finish(instance, irp, status, answer.information, false, &done);
  }
  CompleteAll(&done);
  return status;
}

NTSTATUS DispatchOther(Instance* instance, IRP* irp) {
  const NTSTATUS status = CurrentStack(irp)->MajorFunction == kMjCleanup
                              ? kSuccess
                              : static_cast<NTSTATUS>(vdev::kStatusInvalidDeviceRequest);
  LIST_ENTRY done;
  InitList(&done);
  {
    Locked hold(&instance->lock);
    Finish(instance, irp, status, 0, false, &done);
  }
  CompleteAll(&done);
  return status;
}

void Unplug(Instance* instance) {
  LIST_ENTRY done;
  InitList(&done);
  {
    Locked hold(&instance->lock);
    instance->model.files.Unplug();
    EndPending(
        instance, static_cast<NTSTATUS>(vdev::kStatusDeviceDoesNotExist), false,
        [](IRP*) { return true; }, &done);
  }
  CompleteAll(&done);
}

}  // namespace vdev_driver
