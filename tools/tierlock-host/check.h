// tierlock-host check: what the plug-in keeps and what it rejects in each configuration file.
#pragma once

namespace tierlock_host {

extern const char kCheckUsage[];

// Arguments after "check". Answers 0 when every file loads with nothing rejected, 1 when
// something was rejected, 2 when a file cannot be read or parsed (or the library not loaded),
// and -1 for arguments it does not understand.
int RunCheck(int argc, char** argv);

}  // namespace tierlock_host
