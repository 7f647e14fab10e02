#pragma once
// The text of a socket error number, as the HTTP client's socket shows it in
// its exceptions and failure reasons.

#include <QString>

// "Not a WinSock error" for a number the table does not know.
QString SocketErrorText(int errorCode);
