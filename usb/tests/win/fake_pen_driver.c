/* A stand-in for the pen's kernel driver, loaded by Wine's device host. A send
 * completes at once and comes back as the pen's next message (an echo): to the
 * oldest waiting receive, else into a queue of 16. A receive stays pending until a
 * message comes, the pen is unplugged or the request is cancelled. One state for
 * every handle, guarded by the cancel spin lock, which the cancel routine holds. */
#include <ntddk.h>

#define PEN_CODE(function) CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PEN_GET_DEVICE_DESCRIPTOR PEN_CODE(6)
#define IOCTL_PEN_RECEIVE PEN_CODE(15)
#define IOCTL_PEN_SEND PEN_CODE(18)
#define IOCTL_FAKE_UNPLUG PEN_CODE(0x801) /* every request fails as after removal */
#define IOCTL_FAKE_RESET PEN_CODE(0x802)  /* input: the descriptor; plugged, nothing queued */
#define IOCTL_FAKE_STATE PEN_CODE(0x803)  /* output: `state` */

#define MESSAGE_CAPACITY 1060
#define QUEUE_LENGTH 16

typedef struct {
  ULONG length;
  UCHAR bytes[MESSAGE_CAPACITY];
} Message;

static PDEVICE_OBJECT device;
static LIST_ENTRY pendingReceives;
static Message queue[QUEUE_LENGTH];
static ULONG queueHead, queueCount;
static UCHAR descriptor[18];
static ULONG descriptorLength;
static BOOLEAN unplugged;
/* Keep in step with FakePenState in the fixture. */
static struct {
  ULONG pendingReceives;
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

static VOID NTAPI CancelReceive(PDEVICE_OBJECT deviceObject, PIRP irp) {
  UNREFERENCED_PARAMETER(deviceObject);
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Complete(irp, STATUS_CANCELLED, 0);
}

/* The oldest pending receive, taken off the list, or null. Cancel lock held. */
static PIRP TakePendingReceive(void) {
  while (!IsListEmpty(&pendingReceives)) {
    PIRP irp = CONTAINING_RECORD(RemoveHeadList(&pendingReceives), IRP, Tail.Overlay.ListEntry);
    if (IoSetCancelRoutine(irp, NULL) != NULL) return irp;
    /* Being cancelled: its cancel routine will unlink it; put it back for that. */
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
  }
  return NULL;
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
  IoMarkIrpPending(irp);
  InsertTailList(&pendingReceives, &irp->Tail.Overlay.ListEntry);
  IoSetCancelRoutine(irp, CancelReceive);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    Complete(irp, STATUS_CANCELLED, 0);
  }
  return STATUS_PENDING;
}

/* Called and returns with the cancel lock held. */
static NTSTATUS Send(PIRP irp, ULONG length, KIRQL* irql) {
  PIRP receiver;
  if (length > MESSAGE_CAPACITY) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  if (unplugged) return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  receiver = TakePendingReceive();
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
  PLIST_ENTRY entry;
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
      information = descriptorLength < outLength ? descriptorLength : outLength;
      RtlCopyMemory(buffer, descriptor, information);
      break;
    case IOCTL_FAKE_UNPLUG: /* the waiting receives end as when the pen leaves the bus */
      unplugged = TRUE;
      while ((receiver = TakePendingReceive()) != NULL) {
        IoReleaseCancelSpinLock(irql);
        Complete(receiver, STATUS_DEVICE_NOT_CONNECTED, 0);
        IoAcquireCancelSpinLock(&irql);
      }
      break;
    case IOCTL_FAKE_RESET:
      if (inLength > sizeof(descriptor)) {
        status = STATUS_INVALID_PARAMETER;
        break;
      }
      RtlCopyMemory(descriptor, buffer, inLength);
      descriptorLength = inLength;
      unplugged = FALSE;
      queueHead = queueCount = 0;
      state.lastSent.length = 0;
      break;
    case IOCTL_FAKE_STATE:
      if (outLength < sizeof(state)) {
        status = STATUS_BUFFER_TOO_SMALL;
        break;
      }
      state.pendingReceives = 0;
      for (entry = pendingReceives.Flink; entry != &pendingReceives; entry = entry->Flink) ++state.pendingReceives;
      RtlCopyMemory(buffer, &state, sizeof(state));
      information = sizeof(state);
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
