// Where the diagnostics write: the log path set and the ./LogFile tree.
#pragma once

namespace tmode {

// Names every log file after the prefix and the local time
// ("%04d%02d%02d_%02d%02d%02d"): the main log "./LogFile/<prefix>_<stamp>.csv"
// and each typed log "./LogFile/<Type>/<prefix>_<Type>_<stamp>.csv". For
// model codes 10 to 13 the Unifor_Test, SatL2, Sat and TouchInfo slots keep
// their previous paths. text holds the prefix on entry (read up to 2047
// characters) and the main log path on return (up to 512 bytes with its
// zero). Paths too long for their 512-byte slots are cut.
// A prefix containing "ImageLog" creates the directories of the typed logs
// with "mkdir -p", any other only ./LogFile. Returns 0.
int set_log_file_prefix(int reserved1, int reserved2, char* text);

}  // namespace tmode
