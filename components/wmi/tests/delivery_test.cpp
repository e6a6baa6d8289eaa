// Asynchronous delivery: the service's own thread, batches, one SetStatus then the release
// of the sink, status objects, cancellation, and a consumer that lets go without reading.
#include <chrono>
#include <cstdlib>

#include "fixture_support.h"
#include "kvwin/com_runtime.h"
#include "service/delivery_threads.h"
#include "service/module_state.h"
#include "test_sink.h"

namespace {

using namespace wmitest;
using Clock = std::chrono::steady_clock;

TEST(WmiDelivery, BatchesOnTheServiceThreadThenOneStatusThenTheRelease) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("five", ItemsFixture(5, "batch='2'"));
    IWbemServicesPtr services = ConnectLinked(u"\\\\.\\root\\kavrel\\fixtures\\five");
    TestSink sink;
    ASSERT_EQ(StartQuery(services, u"SELECT Id FROM Kv_Item", sink), S_OK);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.batches(), (std::vector<long>{2, 2, 1}));
    auto statuses = sink.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].flags, WBEM_STATUS_COMPLETE);
    EXPECT_EQ(statuses[0].result, S_OK);
    EXPECT_FALSE(statuses[0].had_object);
    for (std::thread::id id : sink.threads())
        EXPECT_NE(id, std::this_thread::get_id());
    auto objects = sink.objects();
    ASSERT_EQ(objects.size(), 5u);
    EXPECT_EQ(GetText(objects[4], u"Id"), "i4:5");
    EXPECT_EQ(GetText(objects[4], u"Label"), "null");  // not selected
    EXPECT_EQ(sink.refs(), 1u);
}

TEST(WmiDelivery, RegisteredClassesAndTheirFailures) {
    ScopedApartment apartment;
    IWbemServicesPtr services = ConnectLinked(u"root\\cimv2");
    TestSink sink;
    ASSERT_EQ(StartQuery(services, u"SELECT Name FROM Kv_TestTypes WHERE U32 > 20", sink), S_OK);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.batches(), std::vector<long>{2});  // one batch of the two that match
    EXPECT_EQ(sink.statuses().at(0).result, S_OK);

    // A query that cannot run fails at once, and the sink is never called or kept.
    TestSink refused;
    EXPECT_EQ(StartQuery(services, u"SELECT * FROM Kv_Missing", refused), WBEM_E_INVALID_CLASS);
    EXPECT_EQ(StartQuery(services, u"SELECT Nope FROM Kv_TestTypes", refused),
              WBEM_E_INVALID_QUERY);
    EXPECT_EQ(StartQuery(services, u"SELECT * FROM", refused), WBEM_E_INVALID_QUERY);
    EXPECT_EQ(services->ExecQueryAsync(Bstr(u"WQL"), Bstr(u"SELECT * FROM Kv_TestTypes"), 0,
                                       nullptr, nullptr),
              WBEM_E_INVALID_PARAMETER);
    EXPECT_EQ(refused.refs(), 1u);
    EXPECT_TRUE(refused.statuses().empty());

    // A provider that throws ends the call through SetStatus, with a status object.
    TestSink failed;
    ASSERT_EQ(StartQuery(services, u"SELECT * FROM Kv_TestFails", failed), S_OK);
    ASSERT_TRUE(failed.WaitReleased());
    EXPECT_TRUE(failed.batches().empty());
    auto statuses = failed.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].result, WBEM_E_PROVIDER_FAILURE);
    EXPECT_EQ(statuses[0].cls, "bstr:__ExtendedStatus");
    EXPECT_EQ(statuses[0].description, "bstr:the test provider cannot read its source");
    EXPECT_EQ(statuses[0].status_code, "i4:" + std::to_string(int32_t(WBEM_E_PROVIDER_FAILURE)));
    EXPECT_EQ(statuses[0].object_info, "null");
    EXPECT_EQ(statuses[0].error_code, "null");

    // CreateInstanceEnumAsync takes the same road.
    TestSink all;
    ASSERT_EQ(services->CreateInstanceEnumAsync(Bstr(u"Kv_TestTypes"), 0, nullptr, &all), S_OK);
    ASSERT_TRUE(all.WaitReleased());
    EXPECT_EQ(all.objects().size(), 3u);
}

TEST(WmiDelivery, AFixtureEndsWithItsOwnStatus) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("failing",
                   ItemsFixture(3, "batch='1'",
                                "<status result='0x80041001' description='disk gone' "
                                "object-info='Kv_Item.Id=2' status-code='5' error-code='-7'/>"));
    IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\failing");
    TestSink sink;
    ASSERT_EQ(StartQuery(services, u"SELECT * FROM Kv_Item", sink), S_OK);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.batches(), (std::vector<long>{1, 1, 1}));
    auto statuses = sink.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].result, WBEM_E_FAILED);
    EXPECT_EQ(statuses[0].description, "bstr:disk gone");
    EXPECT_EQ(statuses[0].object_info, "bstr:Kv_Item.Id=2");
    EXPECT_EQ(statuses[0].status_code, "i4:5");
    EXPECT_EQ(statuses[0].error_code, "i4:-7");
}

TEST(WmiDelivery, CancelStopsTheDeliveryAndReleasesTheSink) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    // A long pause after the first batch: only the cancellation can end it in time.
    fixtures.Write("slow", ItemsFixture(4, "batch='1' delay-between='600000'"));
    IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\slow");
    TestSink sink;
    ASSERT_EQ(StartQuery(services, u"SELECT * FROM Kv_Item", sink), S_OK);
    ASSERT_TRUE(sink.WaitBatches(1));
    auto start = Clock::now();
    EXPECT_EQ(services->CancelAsyncCall(&sink), S_OK);
    // The cancellation has completed by the time CancelAsyncCall returns.
    EXPECT_EQ(sink.refs(), 1u);
    auto statuses = sink.statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0].result, WBEM_E_CALL_CANCELLED);
    EXPECT_TRUE(statuses[0].had_object);
    EXPECT_EQ(sink.batches(), std::vector<long>{1});
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
    // Nothing is outstanding any more.
    EXPECT_EQ(services->CancelAsyncCall(&sink), WBEM_E_INVALID_PARAMETER);
    EXPECT_EQ(services->CancelAsyncCall(nullptr), WBEM_E_INVALID_PARAMETER);
}

TEST(WmiDelivery, CancelFromInsideIndicate) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("many", ItemsFixture(20, "batch='2'"));
    IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\many");
    TestSink sink;
    IWbemServices* raw = services;
    sink.on_indicate = [&](int batch) {
        if (batch == 2) {
            EXPECT_EQ(raw->CancelAsyncCall(&sink), S_OK);
        }
    };
    ASSERT_EQ(StartQuery(services, u"SELECT * FROM Kv_Item", sink), S_OK);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.batches(), (std::vector<long>{2, 2}));
    ASSERT_EQ(sink.statuses().size(), 1u);
    EXPECT_EQ(sink.statuses()[0].result, WBEM_E_CALL_CANCELLED);
}

TEST(WmiDelivery, ManyCallsFromManyThreadsRaceTheirCancellations) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("busy", ItemsFixture(50, "batch='7'"));
    IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\busy");
    IWbemServices* shared = services;
    constexpr int kThreads = 4, kCalls = 10;
    std::vector<std::thread> threads;
    std::atomic<int> problems{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            for (int call = 0; call < kCalls; ++call) {
                TestSink sink;
                if (StartQuery(shared, u"SELECT * FROM Kv_Item WHERE Id > 0", sink) != S_OK) {
                    ++problems;
                    continue;
                }
                // Every other call is cancelled at once: it may still have completed.
                bool cancel = (t + call) % 2 == 0;
                if (cancel) {
                    HRESULT hr = shared->CancelAsyncCall(&sink);
                    if (hr != S_OK && hr != WBEM_E_INVALID_PARAMETER)
                        ++problems;
                }
                if (!sink.WaitReleased()) {
                    ++problems;
                    continue;
                }
                auto statuses = sink.statuses();
                size_t delivered = sink.objects().size();
                bool complete =
                    statuses.size() == 1 && statuses[0].result == S_OK && delivered == 50;
                bool cancelled = statuses.size() == 1 && cancel &&
                                 statuses[0].result == WBEM_E_CALL_CANCELLED && delivered <= 50;
                if (!complete && !cancelled)
                    ++problems;
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(problems.load(), 0);
}

TEST(WmiDelivery, ReleasingTheServicesEndsItsCallsAndThreads) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("never", ItemsFixture(2, "delay-before='600000'"));
    TestSink sink;
    {
        IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\never");
        ASSERT_EQ(StartQuery(services, u"SELECT * FROM Kv_Item", sink), S_OK);
        EXPECT_EQ(kvwmi::CanUnloadNow(), S_FALSE);
    }
    // The release waited for the call's thread: the sink has had its status and is free.
    EXPECT_EQ(sink.refs(), 1u);
    ASSERT_EQ(sink.statuses().size(), 1u);
    EXPECT_EQ(sink.statuses()[0].result, WBEM_E_CALL_CANCELLED);
    EXPECT_TRUE(sink.batches().empty());
    EXPECT_EQ(kvwmi::CanUnloadNow(), S_OK);
}

TEST(WmiDelivery, TheModuleUnloadsAfterAConsumerThatNeverRead) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("idle", ItemsFixture(3, "delay-before='600000'"));
    size_t before = kvwin::LoadedServerModuleCount();
    TestSink sink;
    {
        IWbemLocatorPtr locator;
        ASSERT_EQ(locator.CreateInstance(CLSID_WbemLocator), S_OK);
        IWbemServicesPtr services;
        ASSERT_EQ(Connect(locator, u"\\\\.\\root\\kavrel\\fixtures\\idle", services), S_OK);
        ASSERT_EQ(StartQuery(services, u"SELECT * FROM Kv_Item", sink), S_OK);
        CoFreeUnusedLibraries();
        EXPECT_EQ(kvwin::LoadedServerModuleCount(), before + 1);
    }
    EXPECT_EQ(sink.refs(), 1u);
    CoFreeUnusedLibraries();
    EXPECT_EQ(kvwin::LoadedServerModuleCount(), before);
}

// Calls one after another reuse one parked thread; calls at once get threads of their own,
// of which only a few stay parked; the unload check ends every parked thread, and a call
// after it starts a thread again.
TEST(WmiDelivery, ThreadsParkBetweenCallsAndEndWhenTheModuleMayGo) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("two", ItemsFixture(2, ""));
    fixtures.Write("held", ItemsFixture(1, "delay-before='600000'"));
    kvwmi::DeliveryThreads& threads = kvwmi::DeliveryThreads::Instance();
    ASSERT_EQ(threads.WaitIdle(std::chrono::seconds(60)), 0u);
    threads.EndParked();  // what earlier cases of this process left
    {
        IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\two");
        std::thread::id first;
        for (int i = 0; i < 3; ++i) {
            TestSink sink;
            ASSERT_EQ(StartQuery(services, u"SELECT Id FROM Kv_Item", sink), S_OK);
            ASSERT_TRUE(sink.WaitReleased());
            // The sink goes a moment before its thread parks.
            ASSERT_EQ(threads.WaitIdle(std::chrono::seconds(60)), 0u);
            EXPECT_EQ(sink.objects().size(), 2u);
            ASSERT_FALSE(sink.threads().empty());
            if (i == 0)
                first = sink.threads()[0];
            EXPECT_EQ(sink.threads()[0], first) << "call " << i;
        }
        EXPECT_EQ(threads.ThreadCount(), 1u);

        // Four calls held at once: four threads; when they end, only the parked few stay.
        IWbemServicesPtr held = ConnectLinked(u"root\\kavrel\\fixtures\\held");
        std::vector<std::unique_ptr<TestSink>> sinks;
        for (int i = 0; i < 4; ++i) {
            sinks.push_back(std::make_unique<TestSink>());
            ASSERT_EQ(StartQuery(held, u"SELECT Id FROM Kv_Item", *sinks.back()), S_OK);
        }
        EXPECT_EQ(threads.ThreadCount(), 4u);
        EXPECT_EQ(kvwmi::CanUnloadNow(), S_FALSE);  // calls are running
        held = nullptr;                             // cancels and waits for the four
        for (const auto& sink : sinks)
            EXPECT_EQ(sink->refs(), 1u);
        EXPECT_EQ(threads.WaitIdle(std::chrono::seconds(60)), 0u);
        EXPECT_EQ(threads.ThreadCount(), kvwmi::DeliveryThreads::kMaxParked);
        EXPECT_EQ(kvwmi::CanUnloadNow(), S_FALSE);  // `services` is alive
        EXPECT_EQ(threads.ThreadCount(), kvwmi::DeliveryThreads::kMaxParked);
    }
    EXPECT_EQ(kvwmi::CanUnloadNow(), S_OK);
    EXPECT_EQ(threads.ThreadCount(), 0u);

    IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\two");
    TestSink sink;
    ASSERT_EQ(StartQuery(services, u"SELECT Id FROM Kv_Item", sink), S_OK);
    ASSERT_TRUE(sink.WaitReleased());
    EXPECT_EQ(sink.objects().size(), 2u);
}

// The child of a fork has none of its parent's parked threads: its calls get threads of its
// own instead of waiting for one that is not there.
TEST(WmiDelivery, AForkedChildDeliversWithThreadsOfItsOwn) {
    ScopedApartment apartment;
    FixtureFolder fixtures;
    fixtures.Write("two", ItemsFixture(2, ""));
    IWbemServicesPtr services = ConnectLinked(u"root\\kavrel\\fixtures\\two");
    TestSink parent;
    ASSERT_EQ(StartQuery(services, u"SELECT Id FROM Kv_Item", parent), S_OK);
    ASSERT_TRUE(parent.WaitReleased());
    ASSERT_EQ(kvwmi::DeliveryThreads::Instance().WaitIdle(std::chrono::seconds(60)), 0u);
    ASSERT_GE(kvwmi::DeliveryThreads::Instance().ThreadCount(), 1u);  // parked

    kvtest::ChildResult child = kvtest::RunInChild([&] {
        if (kvwmi::DeliveryThreads::Instance().ThreadCount() != 0)
            std::_Exit(3);
        static TestSink* sink = new TestSink();
        if (StartQuery(services, u"SELECT Id FROM Kv_Item", *sink) != S_OK)
            std::_Exit(4);
        if (!sink->WaitReleased() || sink->objects().size() != 2)
            std::_Exit(5);
        std::_Exit(0);
    });
    EXPECT_TRUE(child.exited) << child.output;
    EXPECT_EQ(child.exit_code, 0) << child.output;
}

TEST(WmiDelivery, AProcessExitsWhileADeliveryWaits) {
    FixtureFolder fixtures;
    fixtures.Write("exit", ItemsFixture(3, "delay-before='600000'"));
    // Threads that earlier cases of this process parked would be, in the child, threads the
    // leak checker knows of but cannot stop.
    ASSERT_EQ(kvwmi::DeliveryThreads::Instance().WaitIdle(std::chrono::seconds(60)), 0u);
    kvwmi::DeliveryThreads::Instance().EndParked();
    kvtest::ChildResult child = kvtest::RunInChild([] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        // Everything stays referenced (from statics, so that a leak checker sees it reachable)
        // while the exit runs: nothing but the exit can end the waiting delivery.
        static TestSink* sink = new TestSink();
        static IWbemLocator* locator = nullptr;
        static IWbemServices* services = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator, reinterpret_cast<void**>(&locator))))
            std::_Exit(3);
        if (locator->ConnectServer(Bstr(u"root\\kavrel\\fixtures\\exit"), nullptr, nullptr, nullptr,
                                   0, nullptr, nullptr, &services) != S_OK)
            std::_Exit(4);
        if (StartQuery(services, u"SELECT * FROM Kv_Item", *sink) != S_OK)
            std::_Exit(5);
        std::exit(0);
    });
    EXPECT_TRUE(child.exited) << child.output;
    EXPECT_EQ(child.exit_code, 0) << child.output;
}

}  // namespace
