#pragma once

// Checks once at start-up that this system can make IPv4 datagram sockets at all.
bool AfxSocketInit();
