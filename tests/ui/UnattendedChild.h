#pragma once

// The test program started again with this argument plays a short unattended session, so that a
// test can read what an unattended run writes on standard error and how it ends.
namespace UnattendedChild {
inline constexpr char Argument[] = "--unattended-child";
[[noreturn]] void Run();
} // namespace UnattendedChild
