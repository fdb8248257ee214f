#pragma once
// Loopback ports for tests, on every system.
namespace qelvo::test {

// A loopback port on which nothing listens (bound, then closed).
int UnusedPort();
// True when 127.0.0.1:port accepts a connection.
bool PortAccepts(int port);

}  // namespace qelvo::test
