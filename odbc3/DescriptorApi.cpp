// Exports of the descriptor functions, and the descriptor cases of the
// handle functions.
#include "odbc3/DescriptorApi.h"

#include <sqlext.h>

#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Descriptor.h"
#include "handles/Frame.h"
#include "odbc/descriptors/Descriptors.h"

using DescriptorHold = Held<Descriptor>;

#define VEL_DESCRIPTOR_ENTRY() \
  DescriptorHold hold(hdesc);  \
  Descriptor* d = hold.Get();  \
  if (d == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE)

SQLRETURN AllocDescriptorHandle(SQLHANDLE input, SQLHANDLE* output) {
  ConnectionHold hold(input);
  Connection* c = hold.Get();
  if (c == nullptr) return SQL_INVALID_HANDLE;
  return AllocDescWorker(c, output);
}

SQLRETURN FreeDescriptorHandle(SQLHANDLE hdesc) {
  DescriptorHold hold(hdesc);
  Descriptor* d = hold.Get();
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return FreeDescWorker(d);
}

VEL_EXPORT SQLRETURN SQLGetDescField(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                     SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                     SQLINTEGER BufferLength, SQLINTEGER* StringLength) {
  Trace('A', 2, "SQLGetDescField: hdesc=0x%08lx, RecNumber=%d, FieldIdentifier=%d",
        HandleValue(hdesc), RecNumber, FieldIdentifier);
  VEL_DESCRIPTOR_ENTRY();
  return TraceReturnCode(
      GetDescFieldWorker(d, RecNumber, FieldIdentifier, Value, BufferLength, StringLength));
}

VEL_EXPORT SQLRETURN SQLSetDescField(SQLHDESC hdesc, SQLSMALLINT RecNumber,
                                     SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                     SQLINTEGER BufferLength) {
  Trace('A', 2, "SQLSetDescField: hdesc=0x%08lx, RecNumber=%d, FieldIdentifier=%d",
        HandleValue(hdesc), RecNumber, FieldIdentifier);
  VEL_DESCRIPTOR_ENTRY();
  return TraceReturnCode(SetDescFieldWorker(d, RecNumber, FieldIdentifier, Value, BufferLength));
}

VEL_EXPORT SQLRETURN SQLGetDescRec(SQLHDESC hdesc, SQLSMALLINT RecNumber, SQLCHAR* Name,
                                   SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                                   SQLSMALLINT* Type, SQLSMALLINT* SubType, SQLLEN* Length,
                                   SQLSMALLINT* Precision, SQLSMALLINT* Scale,
                                   SQLSMALLINT* Nullable) {
  Trace('A', 2, "SQLGetDescRec: hdesc=0x%08lx, RecNumber=%d", HandleValue(hdesc), RecNumber);
  VEL_DESCRIPTOR_ENTRY();
  return TraceReturnCode(GetDescRecWorker(d, RecNumber, Name, BufferLength, StringLength, Type,
                                          SubType, Length, Precision, Scale, Nullable));
}

VEL_EXPORT SQLRETURN SQLSetDescRec(SQLHDESC hdesc, SQLSMALLINT RecNumber, SQLSMALLINT Type,
                                   SQLSMALLINT SubType, SQLLEN Length, SQLSMALLINT Precision,
                                   SQLSMALLINT Scale, SQLPOINTER Data, SQLLEN* StringLength,
                                   SQLLEN* Indicator) {
  Trace('A', 2, "SQLSetDescRec: hdesc=0x%08lx, RecNumber=%d, Type=%d", HandleValue(hdesc),
        RecNumber, Type);
  VEL_DESCRIPTOR_ENTRY();
  return TraceReturnCode(SetDescRecWorker(d, RecNumber, Type, SubType, Length, Precision, Scale,
                                          Data, StringLength, Indicator));
}

VEL_EXPORT SQLRETURN SQLCopyDesc(SQLHDESC SourceDescHandle, SQLHDESC TargetDescHandle) {
  Trace('A', 2, "SQLCopyDesc: source=0x%08lx, target=0x%08lx", HandleValue(SourceDescHandle),
        HandleValue(TargetDescHandle));
  // A source on the same connection is safe under the target's hold (its
  // calls are serialised by the same lock); one elsewhere is held too.
  // Two connections' locks are taken in the order of their addresses, as
  // every call holding two does, so that two copies the opposite ways
  // cannot wait for each other.
  HandleObject* sourceAnchor = nullptr;
  HandleObject* targetAnchor = nullptr;
  {
    LockGuard guard(Handles().Mutex());
    HandleObject* source = Handles().Find(SourceDescHandle, HandleKind::kDescriptor);
    HandleObject* target = Handles().Find(TargetDescHandle, HandleKind::kDescriptor);
    if (source == nullptr || target == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
    sourceAnchor = source->Anchor();
    targetAnchor = target->Anchor();
  }
  if (sourceAnchor == targetAnchor) {
    DescriptorHold hold(TargetDescHandle);
    Descriptor* d = hold.Get();
    if (d == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
    Descriptor* source = nullptr;
    {
      LockGuard guard(Handles().Mutex());
      HandleObject* found = Handles().Find(SourceDescHandle, HandleKind::kDescriptor);
      if (found != nullptr && found->Anchor() == d->Anchor())
        source = static_cast<Descriptor*>(found);
    }
    if (source == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
    return TraceReturnCode(CopyDescWorker(source, d));
  }
  const bool sourceFirst =
      reinterpret_cast<uintptr_t>(sourceAnchor) < reinterpret_cast<uintptr_t>(targetAnchor);
  DescriptorHold first(sourceFirst ? SourceDescHandle : TargetDescHandle, !sourceFirst);
  DescriptorHold second(sourceFirst ? TargetDescHandle : SourceDescHandle, sourceFirst);
  Descriptor* source = (sourceFirst ? first : second).Get();
  Descriptor* target = (sourceFirst ? second : first).Get();
  if (source == nullptr || target == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(CopyDescWorker(source, target));
}
