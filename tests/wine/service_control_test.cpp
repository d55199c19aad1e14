// The service-control helpers against the real service control manager.
#include <windows.h>

#include <gtest/gtest.h>

#include "service_control.h"

namespace e2e {
namespace {

TEST(ServiceControl, CreatesQueriesAndDeletesAnEntry) {
    const std::wstring name = L"JobServicesTest Probe";
    (void)DeleteServiceEntry(name);  // left by an interrupted run
    ASSERT_EQ(CreateServiceEntry(name, L"\"" + ProbePath() + L"\" Export"), ERROR_SUCCESS);
    EXPECT_EQ(CreateServiceEntry(name, L"\"" + ProbePath() + L"\" Export"),
              static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_TRUE(WaitForState(name, SERVICE_STOPPED));
    EXPECT_EQ(RequestStop(name), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(DeleteServiceEntry(name), ERROR_SUCCESS);
    EXPECT_EQ(QueryState(name), std::nullopt);
    EXPECT_EQ(StartWithParameters(name, {L"30"}), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

}  // namespace
}  // namespace e2e
