// The system headers of Winsock, for what net/ writes once over both systems
// (Socket.cpp names this file through OSTRANA_SOCKET_HEADERS).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
