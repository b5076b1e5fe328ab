// Cancelling a call that waits for its reply: a short connection of its
// own to the session's server carries the session's secret key
// (protocol/CANCEL.md). The waiting call then gets the server's answer to
// its request, "S1008" when the cancel stopped it.
#include "base/HandleIndex.h"
#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/Workers.h"
#include "protocol/Elements.h"
#include "protocol/Extensions.h"
#include "protocol/Framing.h"
#include "protocol/Requests.h"

namespace {

// The cancel connection's every connect, send and receive is bounded by
// this: a cancel that cannot be delivered soon is of no use.
constexpr int kCancelWaitSeconds = 5;
constexpr int kBusyPolls = 200;
constexpr int kBusyPollMs = 5;

// What a call of hstmt is doing, with the ticket when it waits for its
// reply; taken without the connection's call lock (that call holds it).
CallState TakeTicket(const void* hstmt, CancelTicket* ticket) {
  HandleObject* anchor = nullptr;
  const Statement* stmt = nullptr;
  {
    LockGuard guard(Handles().Mutex());
    HandleObject* object = Handles().Find(hstmt, HandleKind::kStatement);
    if (object == nullptr || HandleIndex::Retired(object->Anchor())) return CallState::kNone;
    stmt = static_cast<const Statement*>(object);
    anchor = object->Anchor();
    HandleIndex::PinLocked(anchor);  // the connection stays while its lock is taken below
  }
  const CallState state = static_cast<Connection*>(anchor)->TakeCancelTicket(stmt, ticket);
  HandleIndex::Unpin(anchor);
  return state;
}

// Connects, greets and sends the cancel request; true when the server
// answered it.
bool SendCancel(const CancelTicket& ticket) {
  ClibConnection clib;
  clib.SetTimeout(kCancelWaitSeconds);
  bool sent = clib.InitiateConnection(ticket.server, ticket.service);
  if (sent && ticket.tls != TlsMode::kOff) {
    char reason[200];
    sent = clib.Encrypt(ticket.tls, ticket.tlsCaFile, ticket.server, reason, sizeof reason) ==
           TlsStart::kDone;
  }
  int16_t greeting = kGreetingAccepted;
  sent = sent && ExchangeGreeting(&clib, kCancelPlatform, "iso8859-1", &greeting) &&
         greeting == kGreetingAccepted;
  int status = kStatusCommunicationFailure;
  if (sent) {
    CancelRequest request;
    request.Get<CancelKeyElement>()->value = ticket.key;
    request.Get<RequestNumberElement>()->value = ticket.request;
    sent = !request.Failed() && request.Exchange(&status, &clib) == SQL_SUCCESS &&
           status == kStatusReplied;
  }
  clib.ReleaseConnection();
  return sent;
}

}  // namespace

CancelOutcome CancelWaitingCall(const void* hstmt) {
  CancelTicket ticket;
  // A call that has begun but does not wait for its reply yet (it builds
  // its request) is given a moment to send it; one that takes longer is
  // waited for as ODBC 2 has it (not by a signal handler on the call's
  // own thread: it would wait for itself).
  CallState state = TakeTicket(hstmt, &ticket);
  const int polls = HandleHold::InStatementCall() ? 0 : kBusyPolls;
  for (int k = 0; state == CallState::kBusy && k < polls; ++k) {
    Lock::Pause(kBusyPollMs);
    state = TakeTicket(hstmt, &ticket);
  }
  if (state != CallState::kWaiting) return CancelOutcome::kNoCall;
  const bool sent = SendCancel(ticket);
  Trace('A', 2, " cancel request %s", sent ? "sent" : "could not be sent");
  return sent ? CancelOutcome::kSent : CancelOutcome::kFailed;
}
