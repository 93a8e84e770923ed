#pragma once

// The programs hold the developer key, the encryption key and the password
// in memory. Called first thing in main(): no core file is written if the
// process crashes, and other processes of the same user may not attach to
// it (ptrace) or read its memory, as password managers do.
namespace SecretMemory {

void protectProcess();

} // namespace SecretMemory
