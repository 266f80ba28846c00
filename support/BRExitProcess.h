#pragma once

// Ends the process with `status` once the logs are out (see platform::endProcess).
[[noreturn]] void BRExitProcess(int status);
