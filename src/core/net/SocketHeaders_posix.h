// The system headers of POSIX sockets, for what net/ writes once over both
// systems (Socket.cpp names this file through OSTRANA_SOCKET_HEADERS).
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
