// The job log: one line when a job begins and one when it ends,
//   begin task=<task> pid=<pid> t=<ms>
//   end task=<task> pid=<pid> t=<ms> hr=0x<8 hex digits>
// where <ms> counts milliseconds, with three decimals, on the system clock (shared by all
// processes, so jobs of different services can be ordered).
#pragma once

#include <windows.h>

namespace sample_handler {

void LogJobBegin(const wchar_t* logPath, const wchar_t* task);
void LogJobEnd(const wchar_t* logPath, const wchar_t* task, HRESULT result);

}  // namespace sample_handler
