// What the server exchange asks of the machine: its name and whether it has a way out. Both answer from
// the system unless a test has installed its own answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xb::platform {

// The host name (gethostname) cut to its first 15 bytes; empty when the call fails.
std::string ComputerName();
// True when the kernel's routing table holds a usable default route (IPv4 or IPv6).
bool HasDefaultRoute();

// Test answers: a set value replaces the system's answer until it is reset with std::nullopt.
void SetComputerNameAnswer(std::optional<std::string> name);
void SetDefaultRouteAnswer(std::optional<bool> answer);

// The route tables as /proc/net/route and /proc/net/ipv6_route print them. A default route is one to
// the whole address space (destination and mask 0, or prefix length 0) that is up, not a reject route
// and not on the loopback interface.
bool DefaultRouteInIpv4Table(std::string_view table);
bool DefaultRouteInIpv6Table(std::string_view table);

}  // namespace xb::platform
