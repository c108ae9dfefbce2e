#pragma once

namespace brisakett {

// Ends this process with `status` at once. A spooler call left behind at
// a deadline may still sit inside an RPC to a print server, holding locks
// of the RPC and spooler libraries; ExitProcess (also a return from main)
// would run those libraries' detach code after ending that thread, and
// could wait forever for such a lock. Only for the end of a program: no
// destructor runs, so every output must have been written.
[[noreturn]] void EndProcessNow(int status);

}  // namespace brisakett
