/* A stand-in for the pen's kernel-mode driver, loaded by Wine's device host for the
 * channel tests. It answers the three control codes the way the tool relies on:
 * the descriptor at once; a send completes at once and its bytes come back as the
 * pen's next message (an echo), handed to the oldest waiting receive or queued (16
 * at most, then STATUS_DEVICE_BUSY); a receive takes the oldest queued message or
 * stays pending until one comes, the pen is unplugged or its handle is closed.
 * Private control codes (fake_pen.h) let a test set the descriptor, unplug the
 * pen, reset it and read what the driver saw. There is one device and one state,
 * shared by every handle. All state is guarded by the cancel spin lock, which the
 * cancel routine already holds. */
#include <ntddk.h>

#define PEN_CODE(function) CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_PEN_GET_DEVICE_DESCRIPTOR PEN_CODE(6)
#define IOCTL_PEN_RECEIVE PEN_CODE(15)
#define IOCTL_PEN_SEND PEN_CODE(18)
/* Test controls: keep in step with fake_pen.h. */
#define IOCTL_FAKE_SET_DESCRIPTOR PEN_CODE(0x800)
#define IOCTL_FAKE_UNPLUG PEN_CODE(0x801)
#define IOCTL_FAKE_RESET PEN_CODE(0x802)
#define IOCTL_FAKE_STATE PEN_CODE(0x803)

#define MESSAGE_CAPACITY 1060
#define QUEUE_LENGTH 16

typedef struct {
  ULONG length;
  UCHAR bytes[MESSAGE_CAPACITY];
} Message;

static const WCHAR deviceName[] = L"\\Device\\NibflashFakePen";
/* The symbolic link that the tests register as the pen interface's device path. */
static const WCHAR linkName[] =
    L"\\??\\root#nibflash_fake_pen#0000#{a165badf-6e6a-4126-85c1-bfbe09014345}";

static PDEVICE_OBJECT device;
static LIST_ENTRY pendingReceives;
static Message queue[QUEUE_LENGTH];
static ULONG queueHead, queueCount;
/* idVendor 0x1234, idProduct 0x0204, bcdDevice 0x0318 */
static const UCHAR defaultDescriptor[18] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x34, 0x12,
                                            0x04, 0x02, 0x18, 0x03, 1, 2, 0, 1};
static UCHAR descriptor[18];
static ULONG descriptorLength;
static BOOLEAN unplugged;
/* What IOCTL_FAKE_STATE reports; keep in step with FakePenState in fake_pen.h. */
static struct {
  ULONG pendingReceives;
  ULONG sends;      /* sends taken since the last reset */
  Message lastSent;
} state;

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static void CopyMessage(PIRP irp, const Message* message, ULONG capacity) {
  ULONG length = message->length < capacity ? message->length : capacity;
  RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, message->bytes, length);
  irp->IoStatus.Information = length;
  irp->IoStatus.Status = STATUS_SUCCESS;
}

static VOID NTAPI CancelReceive(PDEVICE_OBJECT deviceObject, PIRP irp) {
  UNREFERENCED_PARAMETER(deviceObject);
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Complete(irp, STATUS_CANCELLED, 0);
}

/* Takes the oldest pending receive off the list, or returns null. Cancel lock held. */
static PIRP TakePendingReceive(void) {
  while (!IsListEmpty(&pendingReceives)) {
    PIRP irp = CONTAINING_RECORD(RemoveHeadList(&pendingReceives), IRP, Tail.Overlay.ListEntry);
    if (IoSetCancelRoutine(irp, NULL) != NULL) return irp;
    /* Being cancelled: its cancel routine will unlink it; put it back for that. */
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
  }
  return NULL;
}

static NTSTATUS Receive(PIRP irp, ULONG capacity) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  if (unplugged) {
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  if (queueCount > 0) {
    CopyMessage(irp, &queue[queueHead], capacity);
    queueHead = (queueHead + 1) % QUEUE_LENGTH;
    --queueCount;
    IoReleaseCancelSpinLock(irql);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
  }
  IoMarkIrpPending(irp);
  InsertTailList(&pendingReceives, &irp->Tail.Overlay.ListEntry);
  IoSetCancelRoutine(irp, CancelReceive);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    IoReleaseCancelSpinLock(irql);
    Complete(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
  }
  IoReleaseCancelSpinLock(irql);
  return STATUS_PENDING;
}

static NTSTATUS Send(PIRP irp, ULONG length) {
  KIRQL irql;
  Message message;
  PIRP receiver;
  if (length > MESSAGE_CAPACITY) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  message.length = length;
  if (length) RtlCopyMemory(message.bytes, irp->AssociatedIrp.SystemBuffer, length);

  IoAcquireCancelSpinLock(&irql);
  if (unplugged) {
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  ++state.sends;
  state.lastSent = message;
  receiver = TakePendingReceive();
  if (receiver == NULL) {
    if (queueCount == QUEUE_LENGTH) {
      IoReleaseCancelSpinLock(irql);
      return Complete(irp, STATUS_DEVICE_BUSY, 0);
    }
    queue[(queueHead + queueCount) % QUEUE_LENGTH] = message;
    ++queueCount;
  }
  IoReleaseCancelSpinLock(irql);
  if (receiver != NULL) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(receiver);
    CopyMessage(receiver, &message, stack->Parameters.DeviceIoControl.OutputBufferLength);
    IoCompleteRequest(receiver, IO_NO_INCREMENT);
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* Back to a plugged-in pen with nothing to say and the default descriptor. */
static NTSTATUS Reset(PIRP irp) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  unplugged = FALSE;
  queueHead = queueCount = 0;
  state.sends = 0;
  state.lastSent.length = 0;
  RtlCopyMemory(descriptor, defaultDescriptor, sizeof(descriptor));
  descriptorLength = sizeof(descriptor);
  IoReleaseCancelSpinLock(irql);
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* The state above, with the count of waiting receives, so that a test knows one
 * is pending. */
static NTSTATUS ReportState(PIRP irp, ULONG outLength) {
  KIRQL irql;
  PLIST_ENTRY entry;
  if (outLength < sizeof(state)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  IoAcquireCancelSpinLock(&irql);
  state.pendingReceives = 0;
  for (entry = pendingReceives.Flink; entry != &pendingReceives; entry = entry->Flink) {
    ++state.pendingReceives;
  }
  RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, &state, sizeof(state));
  IoReleaseCancelSpinLock(irql);
  return Complete(irp, STATUS_SUCCESS, sizeof(state));
}

/* Every request fails from now on, and the waiting receives end, as when the pen
 * leaves the bus. */
static NTSTATUS Unplug(PIRP irp) {
  KIRQL irql;
  PIRP receiver;
  IoAcquireCancelSpinLock(&irql);
  unplugged = TRUE;
  while ((receiver = TakePendingReceive()) != NULL) {
    IoReleaseCancelSpinLock(irql);
    Complete(receiver, STATUS_DEVICE_NOT_CONNECTED, 0);
    IoAcquireCancelSpinLock(&irql);
  }
  IoReleaseCancelSpinLock(irql);
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT deviceObject, PIRP irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UNREFERENCED_PARAMETER(deviceObject);
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_PEN_GET_DEVICE_DESCRIPTOR: {
      ULONG length = descriptorLength < outLength ? descriptorLength : outLength;
      if (unplugged) return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
      RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, descriptor, length);
      return Complete(irp, STATUS_SUCCESS, length);
    }
    case IOCTL_PEN_SEND:
      return Send(irp, inLength);
    case IOCTL_PEN_RECEIVE:
      return Receive(irp, outLength);
    case IOCTL_FAKE_SET_DESCRIPTOR:
      if (inLength > sizeof(descriptor)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      RtlCopyMemory(descriptor, irp->AssociatedIrp.SystemBuffer, inLength);
      descriptorLength = inLength;
      return Complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_FAKE_UNPLUG:
      return Unplug(irp);
    case IOCTL_FAKE_RESET:
      return Reset(irp);
    case IOCTL_FAKE_STATE:
      return ReportState(irp, outLength);
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT deviceObject, PIRP irp) {
  UNREFERENCED_PARAMETER(deviceObject);
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* Closing a handle ends the receives still waiting on it, as a real driver must
 * for the tool's receive thread to stop. */
static NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT deviceObject, PIRP irp) {
  PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  LIST_ENTRY ended;
  PLIST_ENTRY entry;
  KIRQL irql;
  UNREFERENCED_PARAMETER(deviceObject);
  InitializeListHead(&ended);
  IoAcquireCancelSpinLock(&irql);
  entry = pendingReceives.Flink;
  while (entry != &pendingReceives) {
    PIRP pending = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
    entry = entry->Flink;
    if (IoGetCurrentIrpStackLocation(pending)->FileObject == file &&
        IoSetCancelRoutine(pending, NULL) != NULL) {
      RemoveEntryList(&pending->Tail.Overlay.ListEntry);
      InsertTailList(&ended, &pending->Tail.Overlay.ListEntry);
    }
  }
  IoReleaseCancelSpinLock(irql);
  while (!IsListEmpty(&ended)) {
    PIRP pending = CONTAINING_RECORD(RemoveHeadList(&ended), IRP, Tail.Overlay.ListEntry);
    Complete(pending, STATUS_CANCELLED, 0);
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  UNREFERENCED_PARAMETER(driver);
  RtlInitUnicodeString(&link, linkName);
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(device);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  UNICODE_STRING name, link;
  NTSTATUS status;
  UNREFERENCED_PARAMETER(registryPath);
  InitializeListHead(&pendingReceives);
  RtlCopyMemory(descriptor, defaultDescriptor, sizeof(descriptor));
  descriptorLength = sizeof(descriptor);
  RtlInitUnicodeString(&name, deviceName);
  RtlInitUnicodeString(&link, linkName);
  status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
