// Connecting the engine to a namespace: what each answer of the locator becomes.
#include "engine_test_support.h"

namespace wmitest {
namespace {

using ::testing::ElementsAre;

class ConnectServerTest : public WmiEngineTest {};

struct RefusedConnection {
    HRESULT result;
    int32_t code;
    std::string line;  // severity|source|message
};

const RefusedConnection kRefusals[] = {
    {WBEM_E_ACCESS_DENIED, -10,
     "1|CWMIAsyncQuery::ConnectServer|Error! The current or specified user name and password "
     "were not valid or authorized to make the connection."},
    {WBEM_E_FAILED, -11, "1|CWMIAsyncQuery::ConnectServer|Error! Unspecified errors."},
    {WBEM_E_INVALID_NAMESPACE, -12,
     "8|CWMIAsyncQuery::ConnectServer|Error! The specified namespace does not exist on the "
     "server."},
    {WBEM_E_INVALID_PARAMETER, -13,
     "1|CWMIAsyncQuery::ConnectServer|An invalid parameter was specified."},
    {WBEM_E_OUT_OF_MEMORY, -14,
     "1|CWMIAsyncQuery::ConnectServer|Error! There was not enough memory to complete the "
     "operation."},
    {WBEM_E_TRANSPORT_FAILURE, -15,
     "1|CWMIAsyncQuery::ConnectServer|Error! This indicates the failure of the remote procedure "
     "call (RPC) link between the current process and Windows Management."},
    {WBEM_E_LOCAL_CREDENTIALS, -16,
     "1|CWMIAsyncQuery::ConnectServer|Error! WMI is passing the user credential on local "
     "connection."},
    // Anything else, success codes other than S_OK included.
    {WBEM_S_FALSE, -4, "1|CWMIAsyncQuery::ConnectServer|Error! Unknown result value 1"},
    {WBEM_E_INVALID_CLASS, -4,
     "1|CWMIAsyncQuery::ConnectServer|Error! Unknown result value 80041010"},
    {E_ACCESSDENIED, -4, "1|CWMIAsyncQuery::ConnectServer|Error! Unknown result value 80070005"},
};

TEST_F(ConnectServerTest, EveryRefusalHasItsMessageAndCode) {
    for (const RefusedConnection& refusal : kRefusals) {
        SCOPED_TRACE(refusal.line);
        FakeLocator* locator = new FakeLocator(refusal.result, nullptr);
        InstallLocator(locator);
        locator->Release();
        ClearLoggedLines();
        {
            CWMIAsyncQuery engine;
            EXPECT_EQ(engine.ConnectServer(TEXT("\\\\.\\root\\nowhere")), refusal.code);
        }
        EXPECT_THAT(LoggedLines(), ElementsAre(refusal.line));
        RemoveLocator();
        EXPECT_EQ(FakeLocator::Alive(), 0) << "the locator is released on every way out";
    }
}

TEST_F(ConnectServerTest, NoLocatorClassGivesMinusSix) {
    RemoveLocator();
    CWMIAsyncQuery engine;
    EXPECT_EQ(engine.ConnectServer(TEXT("\\\\.\\root\\cimv2")), -6);
    EXPECT_THAT(LoggedLines(),
                ElementsAre("8|CWMIAsyncQuery::Initialize|Error! Initializing WbemLocator."));
}

TEST_F(ConnectServerTest, ConnectedServicesWithoutCallSecurityGiveMinusSeven) {
    // A locator that claims success but hands out nothing: the call security cannot be set.
    FakeLocator* locator = new FakeLocator(WBEM_S_NO_ERROR, nullptr);
    InstallLocator(locator);
    locator->Release();
    CWMIAsyncQuery engine;
    EXPECT_EQ(engine.ConnectServer(TEXT("\\\\.\\root\\cimv2")), -7);
    EXPECT_THAT(LoggedLines(),
                ElementsAre("8|CWMIAsyncQuery::ConnectServer|Error! ProxyBlanket error!"));
}

TEST_F(ConnectServerTest, SuccessPassesThePathAndNothingElse) {
    FakeServices* services = new FakeServices({});
    FakeLocator* locator = new FakeLocator(WBEM_S_NO_ERROR, services);
    InstallLocator(locator);
    {
        CWMIAsyncQuery engine;
        EXPECT_EQ(engine.Initialize(), S_OK);
        EXPECT_EQ(engine.State(), CWMIAsyncQuery::Closed);
        EXPECT_EQ(engine.ConnectServer(TEXT("\\\\.\\root\\cimv2")), 0);
        const ConnectCall call = locator->LastCall();
        EXPECT_EQ(Utf8(call.resource), "\\\\.\\root\\cimv2");
        EXPECT_FALSE(call.user || call.password || call.locale || call.authority || call.context);
        EXPECT_EQ(call.securityFlags, 0);
    }
    EXPECT_TRUE(LoggedLines().empty());
    locator->Release();
    RemoveLocator();
    EXPECT_EQ(services->Release(), 0u);
}

}  // namespace
}  // namespace wmitest
