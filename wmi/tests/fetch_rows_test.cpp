// Draining a query: completion, failure reported by WMI, time-out, cancellation, and the
// sink's lifetime.
#include <chrono>
#include <future>

#include "engine_test_support.h"
#include "kvwin/wide_string.h"
#include "win/handles.h"
#include "win/kernel_objects.h"
#include "wmi/wmi_async_query_sink.h"

namespace wmitest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr unsigned kGenerousMs = 60000;

FakeObject* Named(const WCHAR* name) {
    FakeObject* object = NewObject();
    object->Set(TEXT("Name"), _variant_t(name));
    return object;
}

std::vector<std::string> Texts(const WMIRows& rows) {
    std::vector<std::string> texts;
    for (const WMIRowMap& row : rows)
        texts.push_back(RowText(row));
    return texts;
}

// The plan's batches hold objects made for it; the services keep their own references.
void Drop(DeliveryPlan& plan) {
    for (auto& batch : plan.batches) {
        for (FakeObject* object : batch) {
            if (object)
                object->Release();
        }
    }
    if (plan.statusObject)
        plan.statusObject->Release();
}

class FetchRowsTest : public WmiEngineTest {
  protected:
    FakeServices* Start(CWMIAsyncQuery& engine, DeliveryPlan plan,
                        const WString& query = TEXT("select Name from Win32_Thing ")) {
        DeliveryPlan copy = plan;
        FakeServices* services = Connect(engine, std::move(plan));
        Drop(copy);
        EXPECT_TRUE(engine.OpenQuery(query));
        return services;
    }
};

TEST_F(FetchRowsTest, AllObjectsBecomeRowsInArrivalOrder) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a")), Named(TEXT("b"))},
                    {},
                    {nullptr, Named(TEXT("c")), nullptr},
                    {Named(TEXT("d"))}};
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan);

    WMIRows rows;
    EXPECT_TRUE(engine.FetchRows(rows, kGenerousMs));
    EXPECT_THAT(Texts(rows), ElementsAre("Name=a", "Name=b", "Name=c", "Name=d"));
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Complete);
    EXPECT_THAT(LoggedLines(), IsEmpty());
    services->Release();
}

TEST_F(FetchRowsTest, AQueryWithoutObjectsCompletesWithoutRows) {
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, {});
    WMIRows rows;
    EXPECT_TRUE(engine.FetchRows(rows, kGenerousMs));
    EXPECT_TRUE(rows.empty());
    services->Release();
}

TEST_F(FetchRowsTest, PropertyFailuresCostTheirEntryOnEveryObject) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a")), Named(TEXT("b"))}};
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan, TEXT("select Name,Size from Win32_Thing "));

    WMIRows rows;
    EXPECT_TRUE(engine.FetchRows(rows, kGenerousMs));
    EXPECT_THAT(Texts(rows), ElementsAre("Name=a", "Name=b"));
    const std::string missing =
        "8|CWmiQuery::ExecuteQuery|WMI Property Failed - Property:Size Error:PROPERTY_NOT_FOUND";
    EXPECT_THAT(LoggedLines(), ElementsAre(missing, missing));
    services->Release();
}

TEST_F(FetchRowsTest, TimeOutKeepsTheRowsMadeSoFar) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a")), Named(TEXT("b")), Named(TEXT("c"))}};
    plan.waitForCancel = true;  // never completes on its own
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan);
    ASSERT_TRUE(services->WaitDelivered(kGenerousMs));

    WMIRows rows;
    EXPECT_FALSE(engine.FetchRows(rows, 1500));
    EXPECT_THAT(Texts(rows), ElementsAre("Name=a", "Name=b", "Name=c"));
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Running) << "the query runs on until Close";
    EXPECT_EQ(services->CancelCalls(), 0);

    engine.Close();
    EXPECT_EQ(services->CancelCalls(), 1);
    EXPECT_TRUE(services->CancelNamedTheSink());
    EXPECT_TRUE(services->SinkReleased());
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Closed);
    services->Release();
}

TEST_F(FetchRowsTest, AZeroLimitEndsBeforeTakingAnything) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a"))}};
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan);
    ASSERT_TRUE(services->WaitSinkReleased(kGenerousMs));
    WMIRows rows;
    EXPECT_FALSE(engine.FetchRows(rows, 0));
    EXPECT_TRUE(rows.empty());
    services->Release();
}

TEST_F(FetchRowsTest, DestroyingARunningEngineCancelsAndWaitsForTheSink) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a")), Named(TEXT("b"))}};
    plan.waitForCancel = true;
    FakeServices* services = nullptr;
    {
        CWMIAsyncQuery engine;
        services = Start(engine, plan);
        ASSERT_TRUE(services->WaitDelivered(kGenerousMs));
    }
    EXPECT_EQ(services->CancelCalls(), 1);
    EXPECT_TRUE(services->SinkReleased());
    services->Release();
    RemoveLocator();
    EXPECT_EQ(FakeObject::Alive(), 0) << "queued objects are released with the engine";
}

TEST_F(FetchRowsTest, CloseReleasesTheObjectsStillQueued) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a")), Named(TEXT("b")), Named(TEXT("c"))}};
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan);
    ASSERT_TRUE(services->WaitSinkReleased(kGenerousMs));
    engine.Close();
    EXPECT_EQ(services->CancelCalls(), 0) << "a completed query is not cancelled";
    services->Release();
    RemoveLocator();  // the locator's services held the plan's objects
    EXPECT_EQ(FakeObject::Alive(), 0);

    WMIRows rows;
    EXPECT_TRUE(engine.FetchRows(rows, kGenerousMs)) << "a closed engine has nothing to wait for";
    EXPECT_TRUE(rows.empty());
}

TEST_F(FetchRowsTest, CloseReturnsOnlyAfterWmiLetGoOfTheSink) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a"))}};
    plan.holdSink = true;  // WMI keeps the sink after its final status, until told
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan);

    WMIRows rows;
    EXPECT_TRUE(engine.FetchRows(rows, kGenerousMs));
    EXPECT_EQ(rows.size(), 1u);

    std::future<void> closing = std::async(std::launch::async, [&engine] { engine.Close(); });
    // Close must still be waiting: WMI holds the sink. (A Close that did not wait would be
    // done well within this time.)
    EXPECT_EQ(closing.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_FALSE(services->SinkReleased());
    services->ReleaseSink();
    closing.get();
    EXPECT_TRUE(services->SinkReleased());
    EXPECT_EQ(engine.State(), CWMIAsyncQuery::Closed);
    services->Release();
}

// ---- failures WMI reports after the start ---------------------------------------------------

FakeObject* StatusObject(std::initializer_list<std::pair<const WCHAR*, _variant_t>> values) {
    FakeObject* status = NewObject();
    for (const auto& [name, value] : values)
        status->Set(name, value);
    return status;
}

struct ReportedFailure {
    const char* what;
    FakeObject* statusObject;
    std::string text;
    int32_t code;
};

TEST_F(FetchRowsTest, AFailureAfterTheStartEndsTheFetchWithTheRowsReceived) {
    const ReportedFailure failures[] = {
        {"no status object", nullptr, "", 0},
        {"every property",
         StatusObject({{TEXT("Description"), _variant_t(TEXT("described"))},
                       {TEXT("StatusCode"), _variant_t(5)},
                       {TEXT("ObjectInfo"), _variant_t(TEXT("object info"))},
                       {TEXT("ErrorCode"), _variant_t(7)}}),
         "object info", 7},
        {"description only",
         StatusObject({{TEXT("Description"), _variant_t(TEXT("described"))},
                       {TEXT("StatusCode"), _variant_t(5)}}),
         "described", 5},
        {"null object info and error code",
         StatusObject({{TEXT("Description"), _variant_t(TEXT("described"))},
                       {TEXT("StatusCode"), _variant_t(5)},
                       {TEXT("ObjectInfo"), Null()},
                       {TEXT("ErrorCode"), Null()}}),
         "described", 0},
        {"a code that is not VT_I4",
         StatusObject({{TEXT("StatusCode"), _variant_t(TEXT("12"))},
                       {TEXT("ObjectInfo"), _variant_t(TEXT("x"))}}),
         "x", 12},
        {"unreadable properties",
         &StatusObject({})
              ->Fail(TEXT("Description"), WBEM_E_FAILED)
              .Fail(TEXT("ErrorCode"), WBEM_E_FAILED),
         "", 0},
    };
    for (const ReportedFailure& failure : failures) {
        SCOPED_TRACE(failure.what);
        DeliveryPlan plan;
        plan.batches = {{Named(TEXT("a")), Named(TEXT("b"))}};
        plan.finalResult = WBEM_E_PROVIDER_FAILURE;
        plan.statusAfterRowsTaken = true;
        plan.statusObject = failure.statusObject;
        CWMIAsyncQuery engine;
        FakeServices* services = Start(engine, plan);

        WMIRows rows;
        EXPECT_TRUE(engine.FetchRows(rows, kGenerousMs));
        EXPECT_THAT(Texts(rows), ElementsAre("Name=a", "Name=b"));
        EXPECT_EQ(engine.State(), CWMIAsyncQuery::Failed);
        ASSERT_TRUE(services->WaitSinkReleased(kGenerousMs));  // SetStatus has returned
        ASSERT_NE(engine.Sink(), nullptr);
        EXPECT_EQ(Utf8(engine.Sink()->StatusText()), failure.text);
        EXPECT_EQ(engine.Sink()->StatusCode(), failure.code);
        EXPECT_THAT(LoggedLines(), IsEmpty());
        engine.Close();
        services->Release();
        RemoveLocator();
    }
    EXPECT_EQ(FakeObject::Alive(), 0);
}

TEST_F(FetchRowsTest, AFailureReportedBeforeFetchingEndsTheFetchAtOnce) {
    DeliveryPlan plan;
    plan.batches = {{Named(TEXT("a"))}};
    plan.finalResult = WBEM_E_PROVIDER_FAILURE;
    CWMIAsyncQuery engine;
    FakeServices* services = Start(engine, plan);
    ASSERT_TRUE(services->WaitSinkReleased(kGenerousMs));
    WMIRows rows;
    EXPECT_FALSE(engine.FetchRows(rows, kGenerousMs));
    EXPECT_TRUE(rows.empty()) << "the queued object is left for Close";
    services->Release();
}

// ---- the sink as a COM object ---------------------------------------------------------------

TEST(WmiQuerySinkTest, AnswersItsTwoInterfacesAndSignalsItsEnd) {
    CWMIAsyncQuery owner;
    HANDLE gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* sink = new CWMIAsyncQuerySink(&owner, gone);
    EXPECT_EQ(sink->AddRef(), 1u);

    void* found = nullptr;
    EXPECT_EQ(sink->QueryInterface(IID_IWbemObjectSink, &found), S_OK);
    EXPECT_EQ(found, static_cast<IWbemObjectSink*>(sink));
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, &found), S_OK);
    EXPECT_EQ(found, static_cast<IUnknown*>(sink));
    found = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(sink->QueryInterface(IID_IDispatch, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);

    EXPECT_EQ(sink->Indicate(0, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(sink->Release(), 2u);
    EXPECT_EQ(sink->Release(), 1u);
    EXPECT_EQ(WaitForSingleObject(gone, 0), WAIT_TIMEOUT);
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_EQ(WaitForSingleObject(gone, 0), WAIT_OBJECT_0);
    CloseHandle(gone);
}

}  // namespace
}  // namespace wmitest
