// CWMIAsyncQuery: one WQL query run asynchronously against WMI, its objects handed to the
// consumer as row maps.
//
//   CWMIAsyncQuery engine;
//   engine.Initialize();
//   if (engine.ConnectServer(TEXT("\\\\.\\root\\cimv2")) < 0) ...;
//   if (engine.OpenQuery(TEXT("select Name,State from Win32_Service "))) {
//       WMIRows rows;
//       bool all = engine.FetchRows(rows, 120000);
//   }
//
// The query's objects arrive on WMI's threads through a sink of the engine's own
// (CWMIAsyncQuerySink) and wait in a queue; FetchRows drains the queue on the consumer's
// thread, polling every 10 ms and resting 10 ms after each object, so at most about 100
// objects a second get through. The states:
//
//    2 Complete  after construction, and when WMI reported success
//    1 Running   from the start of the query until WMI's final status
//   -1 Failed    the query could not start, or WMI reported a failure
//   -2 Closed    after Close
//
// Threads: every operation of the engine runs on one consumer thread, which must already be
// in a COM apartment (the engine does not initialise COM). The sink runs on WMI's threads;
// the queue is guarded by the engine's queue lock and the state is an atomic 32-bit value.
// An engine serves one query: its sink-gone event is never reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "kvwin/wide_string.h"
#include "win/sync.h"
#include "win/wbemcli.h"
#include "wmi/row_map.h"

class CWMIAsyncQuerySink;

class CWMIAsyncQuery {
  public:
    enum : int32_t { Complete = 2, Running = 1, Failed = -1, Closed = -2 };

    CWMIAsyncQuery();
    virtual ~CWMIAsyncQuery();
    CWMIAsyncQuery(const CWMIAsyncQuery&) = delete;
    CWMIAsyncQuery& operator=(const CWMIAsyncQuery&) = delete;

    // Forgets any query (Close) and answers S_OK.
    HRESULT Initialize();

    // Connects to a namespace path such as \\.\root\cimv2 and sets the call security on it.
    // 0 on success; otherwise, with the reason logged: -6 no WMI locator, -7 the security
    // could not be set, -10 access denied, -11 WMI failed, -12 no such namespace, -13 an
    // invalid parameter, -14 out of memory, -15 the link to WMI failed, -16 credentials on a
    // local connection, -4 any other result or an exception.
    int32_t ConnectServer(WString path);

    // Closes the previous query, takes the property names from the select list of query
    // (the text between "select " and " from", split at every comma, untrimmed; empty pieces
    // count) and starts the query. False when the text has no "select " or no names (not
    // logged), or when the sink cannot be made or WMI refuses the query (logged; state
    // Failed). Throws only when the text cannot be copied (an allocation).
    bool OpenQuery(const WString& query);

    // Cancels a running query, lets go of the sink and waits, without a time limit, until
    // WMI has released it too; then drops the objects still queued. State Closed.
    void Close();

    // Turns queued objects into rows, oldest first, until the query has ended and the queue
    // is empty (true), or until timeLimitMs have passed (false; the rows made so far stay).
    // False at once when the query failed to start. A failure that WMI reports after the
    // start ends the fetch like a success: true, with the rows received.
    bool FetchRows(WMIRows& rows, uint32_t timeLimitMs);

    int32_t State() const { return state_.load(); }
    // The property names of the current query, in select-list order.
    const std::vector<WString>& PropertyNames() const { return propertyNames_; }
    // The sink of the current query (the engine's reference), or null. Its status text and
    // code are complete once WMI has released it.
    const CWMIAsyncQuerySink* Sink() const { return sink_; }

  private:
    friend class CWMIAsyncQuerySink;

    // Called by the sink on WMI's threads.
    void Enqueue(IWbemClassObject* object);
    void SetState(int32_t state) { state_.store(state); }
    // The oldest queued object with its reference, or null.
    IWbemClassObject* Dequeue();

    std::atomic<int32_t> state_;
    std::vector<WString> propertyNames_;
    IWbemServices* services_ = nullptr;
    CWMIAsyncQuerySink* sink_ = nullptr;
    std::list<IWbemClassObject*> received_;
    CRITICAL_SECTION queueLock_;
    std::shared_ptr<void> sinkGone_;
};
