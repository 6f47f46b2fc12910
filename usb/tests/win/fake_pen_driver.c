/* A stand-in for the pen's kernel driver, loaded by Wine's device host. A send
 * completes at once and comes back as the pen's next message (an echo): to the
 * oldest waiting receive, else into a queue of 16. A receive stays pending until a
 * message comes, the pen is unplugged or the request is cancelled. Told so, it
 * holds the next send or descriptor request pending until the pen is unplugged,
 * with or without a cancel routine. One state for every handle, guarded by the
 * cancel spin lock, which the cancel routines hold. */
#include <ntddk.h>

#define PEN_CODE(function) CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PEN_GET_DEVICE_DESCRIPTOR PEN_CODE(6)
#define IOCTL_PEN_RECEIVE PEN_CODE(15)
#define IOCTL_PEN_SEND PEN_CODE(18)
#define IOCTL_FAKE_UNPLUG PEN_CODE(0x801) /* every request fails as after removal */
#define IOCTL_FAKE_RESET PEN_CODE(0x802)  /* input: the descriptor; plugged, nothing queued */
#define IOCTL_FAKE_STATE PEN_CODE(0x803)  /* output: `state` */
#define IOCTL_FAKE_HOLD PEN_CODE(0x804)   /* input: ULONG of HOLD_* flags */

#define HOLD_SEND 1
#define HOLD_DESCRIPTOR 2
#define HOLD_CANCELLABLE 4 /* the held requests get a cancel routine */

#define MESSAGE_CAPACITY 1060
#define QUEUE_LENGTH 16

typedef struct {
  ULONG length;
  UCHAR bytes[MESSAGE_CAPACITY];
} Message;

static PDEVICE_OBJECT device;
static LIST_ENTRY pendingReceives;
static LIST_ENTRY heldCancellable, heldForGood;
static ULONG holdNext; /* HOLD_* flags for the requests still to come */
static Message queue[QUEUE_LENGTH];
static ULONG queueHead, queueCount;
static UCHAR descriptor[18];
static ULONG descriptorLength;
static BOOLEAN unplugged;
/* Keep in step with FakePenState in the fixture. */
static struct {
  ULONG pendingReceives;
  ULONG heldRequests;
  Message lastSent; /* since the last reset */
} state;

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static void CompleteWithMessage(PIRP irp, const Message* message) {
  ULONG capacity = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
  ULONG length = message->length < capacity ? message->length : capacity;
  RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, message->bytes, length);
  Complete(irp, STATUS_SUCCESS, length);
}

static VOID NTAPI CancelPending(PDEVICE_OBJECT deviceObject, PIRP irp) {
  UNREFERENCED_PARAMETER(deviceObject);
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Complete(irp, STATUS_CANCELLED, 0);
}

/* Keeps `irp` pending on `list` with a cancel routine. Cancel lock held. */
static NTSTATUS PendCancellable(PIRP irp, PLIST_ENTRY list) {
  IoMarkIrpPending(irp);
  InsertTailList(list, &irp->Tail.Overlay.ListEntry);
  IoSetCancelRoutine(irp, CancelPending);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    Complete(irp, STATUS_CANCELLED, 0);
  }
  return STATUS_PENDING;
}

/* The oldest request of a list that PendCancellable fills, taken off it, or null.
 * Cancel lock held. */
static PIRP TakeCancellable(PLIST_ENTRY list) {
  while (!IsListEmpty(list)) {
    PIRP irp = CONTAINING_RECORD(RemoveHeadList(list), IRP, Tail.Overlay.ListEntry);
    if (IoSetCancelRoutine(irp, NULL) != NULL) return irp;
    /* Being cancelled: its cancel routine will unlink it; put it back for that. */
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
  }
  return NULL;
}

/* Holds `irp` (a send or descriptor request) as holdNext says. Cancel lock held. */
static NTSTATUS Hold(PIRP irp) {
  if (holdNext & HOLD_CANCELLABLE) return PendCancellable(irp, &heldCancellable);
  IoMarkIrpPending(irp);
  InsertTailList(&heldForGood, &irp->Tail.Overlay.ListEntry);
  return STATUS_PENDING;
}

/* Ends every request held pending, as when the pen leaves the bus. Called and
 * returns with the cancel lock held. */
static void CompleteHeld(KIRQL* irql, NTSTATUS status) {
  PIRP irp;
  for (;;) {
    irp = TakeCancellable(&heldCancellable);
    if (irp == NULL && !IsListEmpty(&heldForGood)) {
      irp = CONTAINING_RECORD(RemoveHeadList(&heldForGood), IRP, Tail.Overlay.ListEntry);
    }
    if (irp == NULL) return;
    IoReleaseCancelSpinLock(*irql);
    Complete(irp, status, 0);
    IoAcquireCancelSpinLock(irql);
  }
}

static ULONG Length(PLIST_ENTRY list) {
  ULONG length = 0;
  PLIST_ENTRY entry;
  for (entry = list->Flink; entry != list; entry = entry->Flink) ++length;
  return length;
}

/* Called and returns with the cancel lock held. */
static NTSTATUS Receive(PIRP irp, KIRQL* irql) {
  Message message;
  if (unplugged) return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  if (queueCount > 0) {
    message = queue[queueHead];
    queueHead = (queueHead + 1) % QUEUE_LENGTH;
    --queueCount;
    IoReleaseCancelSpinLock(*irql);
    CompleteWithMessage(irp, &message);
    IoAcquireCancelSpinLock(irql);
    return STATUS_SUCCESS;
  }
  return PendCancellable(irp, &pendingReceives);
}

/* Called and returns with the cancel lock held. */
static NTSTATUS Send(PIRP irp, ULONG length, KIRQL* irql) {
  PIRP receiver;
  if (length > MESSAGE_CAPACITY) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (unplugged) return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  if (holdNext & HOLD_SEND) {
    holdNext &= ~HOLD_SEND;
    return Hold(irp);
  }
  receiver = TakeCancellable(&pendingReceives);
  if (receiver == NULL && queueCount == QUEUE_LENGTH) return Complete(irp, STATUS_DEVICE_BUSY, 0);
  state.lastSent.length = length;
  RtlCopyMemory(state.lastSent.bytes, irp->AssociatedIrp.SystemBuffer, length);
  if (receiver == NULL) {
    queue[(queueHead + queueCount++) % QUEUE_LENGTH] = state.lastSent;
  } else {
    IoReleaseCancelSpinLock(*irql);
    CompleteWithMessage(receiver, &state.lastSent);
    IoAcquireCancelSpinLock(irql);
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT deviceObject, PIRP irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR information = 0;
  PIRP receiver;
  KIRQL irql;
  UNREFERENCED_PARAMETER(deviceObject);
  IoAcquireCancelSpinLock(&irql);
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_PEN_SEND:
      status = Send(irp, inLength, &irql);
      IoReleaseCancelSpinLock(irql);
      return status;
    case IOCTL_PEN_RECEIVE:
      status = Receive(irp, &irql);
      IoReleaseCancelSpinLock(irql);
      return status;
    case IOCTL_PEN_GET_DEVICE_DESCRIPTOR:
      if (unplugged) {
        status = STATUS_DEVICE_NOT_CONNECTED;
        break;
      }
      if (holdNext & HOLD_DESCRIPTOR) {
        holdNext &= ~HOLD_DESCRIPTOR;
        status = Hold(irp);
        IoReleaseCancelSpinLock(irql);
        return status;
      }
      information = descriptorLength < outLength ? descriptorLength : outLength;
      RtlCopyMemory(buffer, descriptor, information);
      break;
    case IOCTL_FAKE_UNPLUG: /* the waiting receives end as when the pen leaves the bus */
      unplugged = TRUE;
      while ((receiver = TakeCancellable(&pendingReceives)) != NULL) {
        IoReleaseCancelSpinLock(irql);
        Complete(receiver, STATUS_DEVICE_NOT_CONNECTED, 0);
        IoAcquireCancelSpinLock(&irql);
      }
      CompleteHeld(&irql, STATUS_DEVICE_NOT_CONNECTED);
      break;
    case IOCTL_FAKE_RESET:
      if (inLength > sizeof(descriptor)) {
        status = STATUS_INVALID_PARAMETER;
        break;
      }
      RtlCopyMemory(descriptor, buffer, inLength);
      descriptorLength = inLength;
      CompleteHeld(&irql, STATUS_DEVICE_NOT_CONNECTED); /* a pen of an earlier test */
      unplugged = FALSE;
      holdNext = 0;
      queueHead = queueCount = 0;
      state.lastSent.length = 0;
      break;
    case IOCTL_FAKE_STATE:
      if (outLength < sizeof(state)) {
        status = STATUS_BUFFER_TOO_SMALL;
        break;
      }
      state.pendingReceives = Length(&pendingReceives);
      state.heldRequests = Length(&heldCancellable) + Length(&heldForGood);
      RtlCopyMemory(buffer, &state, sizeof(state));
      information = sizeof(state);
      break;
    case IOCTL_FAKE_HOLD:
      if (inLength != sizeof(ULONG)) {
        status = STATUS_INVALID_PARAMETER;
        break;
      }
      holdNext = *(const ULONG*)buffer;
      break;
    default:
      status = STATUS_INVALID_DEVICE_REQUEST;
  }
  IoReleaseCancelSpinLock(irql);
  return Complete(irp, status, information);
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT deviceObject, PIRP irp) {
  UNREFERENCED_PARAMETER(deviceObject);
  return Complete(irp, STATUS_SUCCESS, 0);
}

static UNICODE_STRING deviceName, linkName;

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
  UNREFERENCED_PARAMETER(driver);
  IoDeleteSymbolicLink(&linkName);
  IoDeleteDevice(device);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  NTSTATUS status;
  UNREFERENCED_PARAMETER(registryPath);
  InitializeListHead(&pendingReceives);
  InitializeListHead(&heldCancellable);
  InitializeListHead(&heldForGood);
  RtlInitUnicodeString(&deviceName, L"\\Device\\NibflashFakePen");
  /* The device path of the interface the tests register for the openable pen. */
  RtlInitUnicodeString(&linkName, L"\\??\\root#nibflash_fake_pen#0000#{a165badf-6e6a-4126-85c1-bfbe09014345}");
  status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&linkName, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
