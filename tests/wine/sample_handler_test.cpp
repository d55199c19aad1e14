// The sample job handler itself: a broken handler would make every end-to-end result moot.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "child_process.h"
#include "handler_control.h"
#include "sample_handler/handler_class.h"
#include "sample_handler/job_handler.h"

namespace e2e {
namespace {

struct Releaser {
    void operator()(IDispatch* object) const { object->Release(); }
};
using DispatchPtr = std::unique_ptr<IDispatch, Releaser>;

class SampleHandler : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        comReady_ = true;
        CLSID classId;
        ASSERT_EQ(CLSIDFromProgID(sample_handler::kProgId, &classId), S_OK);
        IDispatch* object = nullptr;
        ASSERT_EQ(CoCreateInstance(classId, nullptr, CLSCTX_ALL, IID_IDispatch,
                                   reinterpret_cast<void**>(&object)),
                  S_OK);
        handler_.reset(object);
    }
    void TearDown() override {
        handler_.reset();
        if (comReady_) CoUninitialize();
    }

    HRESULT IdOf(const wchar_t* name, DISPID* id, REFIID iid = IID_NULL) {
        std::wstring text = name;
        LPOLESTR names[] = {text.data()};
        return handler_->GetIDsOfNames(iid, names, 1, LOCALE_USER_DEFAULT, id);
    }

    HRESULT Call(DISPPARAMS* parameters, WORD flags = DISPATCH_METHOD) {
        DISPID id = DISPID_UNKNOWN;
        const HRESULT found = IdOf(L"Run", &id);
        if (FAILED(found)) return found;
        return handler_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, parameters, nullptr,
                                nullptr, nullptr);
    }

    HRESULT Run(const wchar_t* task) {
        VARIANT argument;
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = SysAllocString(task);
        DISPPARAMS parameters = {&argument, nullptr, 1, 0};
        const HRESULT result = Call(&parameters);
        VariantClear(&argument);
        return result;
    }

    HandlerSettings settings_{TestFile(L".jobs.log")};
    DispatchPtr handler_;
    bool comReady_ = false;
};

TEST_F(SampleHandler, KnowsRunInAnyLetterCaseAndNoOtherName) {
    DISPID run = DISPID_UNKNOWN;
    ASSERT_EQ(IdOf(L"Run", &run), S_OK);
    for (const wchar_t* name : {L"RUN", L"rUn"}) {
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(IdOf(name, &id), S_OK);
        EXPECT_EQ(id, run);
    }
    for (const wchar_t* name : {L"Runs", L"Ru", L""}) {
        DISPID id = run;
        EXPECT_EQ(IdOf(name, &id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(id, DISPID_UNKNOWN);
    }
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(IdOf(L"Run", &id, IID_IDispatch), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(SampleHandler, ModeDecidesTheOutcomeAndWhatTheLogShows) {
    struct Case {
        const wchar_t* mode;
        const wchar_t* task;
        HRESULT outcome;
        bool logged;
    };
    for (const Case& c :
         {Case{L"ok", L"Export", S_OK, true}, Case{L"fail", L"Import", E_FAIL, true},
          Case{L"norun", L"Purge", DISP_E_UNKNOWNNAME, false}}) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        ASSERT_EQ(settings_.SetMode(c.mode), ERROR_SUCCESS);
        EXPECT_EQ(Run(c.task), c.outcome);
        const std::vector<Job> jobs =
            JobsOf(settings_.ReadJobLog(), std::string(c.task, c.task + wcslen(c.task)));
        if (!c.logged) {
            EXPECT_TRUE(jobs.empty());
            continue;
        }
        ASSERT_EQ(jobs.size(), 1u) << settings_.JobLogText();
        EXPECT_EQ(jobs[0].processId, GetCurrentProcessId());
        EXPECT_EQ(jobs[0].result, static_cast<uint32_t>(c.outcome));
    }
    EXPECT_TRUE(settings_.ReadJobLog().malformed.empty());
}

TEST_F(SampleHandler, TaskSettingOverridesTheMainOneForThatTaskOnly) {
    ASSERT_EQ(settings_.SetMode(L"fail", L"Export"), ERROR_SUCCESS);
    EXPECT_EQ(Run(L"Export"), E_FAIL);
    EXPECT_EQ(Run(L"Import"), S_OK);
}

TEST_F(SampleHandler, RunTakesExactlyOnePositionalString) {
    VARIANT strings[2];
    for (VARIANT& v : strings) {
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(L"Export");
    }
    VARIANT number;
    V_VT(&number) = VT_I4;
    V_I4(&number) = 5;
    DISPID named = 0;
    struct Case {
        const char* name;
        DISPPARAMS parameters;
        WORD flags;
        HRESULT outcome;
    };
    Case cases[] = {
        {"none", {nullptr, nullptr, 0, 0}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT},
        {"two", {strings, nullptr, 2, 0}, DISPATCH_METHOD, DISP_E_BADPARAMCOUNT},
        {"number", {&number, nullptr, 1, 0}, DISPATCH_METHOD, DISP_E_TYPEMISMATCH},
        {"named", {strings, &named, 1, 1}, DISPATCH_METHOD, DISP_E_NONAMEDARGS},
        {"property", {strings, nullptr, 1, 0}, DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Call(&c.parameters, c.flags), c.outcome);
    }
    for (VARIANT& v : strings) VariantClear(&v);
    EXPECT_TRUE(settings_.ReadJobLog().jobs.empty()) << settings_.JobLogText();
}

TEST_F(SampleHandler, ProcessesLoggingAtOnceKeepEveryLineWhole) {
    constexpr int kProcesses = 4;
    constexpr int kCalls = 25;
    std::vector<std::unique_ptr<ChildProcess>> probes;
    for (int i = 0; i < kProcesses; ++i) {
        probes.push_back(
            std::make_unique<ChildProcess>(ProbePath(), L"Consolidate " + std::to_wstring(kCalls),
                                           TestFile(L"." + std::to_wstring(i) + L".out.txt")));
        ASSERT_EQ(probes.back()->StartError(), "");
    }
    for (const auto& probe : probes) {
        ASSERT_TRUE(probe->WaitForExit());
        EXPECT_EQ(probe->ExitCode(), 0u) << probe->Output();
    }
    const JobLog log = settings_.ReadJobLog();
    EXPECT_TRUE(log.malformed.empty()) << settings_.JobLogText();
    ASSERT_EQ(log.jobs.size(), static_cast<size_t>(kProcesses * kCalls));
    for (const auto& probe : probes) {
        size_t finished = 0;
        for (const Job& job : log.jobs) finished += job.processId == probe->Id() && job.endUs;
        EXPECT_EQ(finished, static_cast<size_t>(kCalls));
    }
}

TEST_F(SampleHandler, CrashEndsTheHostInTheMiddleOfTheJob) {
    ASSERT_EQ(settings_.SetMode(L"crash"), ERROR_SUCCESS);
    ChildProcess probe(ProbePath(), L"Purge", TestFile(L".out.txt"));
    ASSERT_EQ(probe.StartError(), "");
    ASSERT_TRUE(probe.WaitForExit());
    EXPECT_EQ(probe.ExitCode(), sample_handler::kCrashExitCode);
    const std::vector<Job> jobs = JobsOf(settings_.ReadJobLog(), "Purge");
    ASSERT_EQ(jobs.size(), 1u) << settings_.JobLogText();
    EXPECT_EQ(jobs[0].processId, probe.Id());
    EXPECT_FALSE(jobs[0].endUs);
}

}  // namespace
}  // namespace e2e
