#pragma once
// The engine's enumerations. Their numbers are part of the interface: owners
// store and compare them.

enum FtpInfo : int {
    ftpiConnected = 0,
    ftpiDisconnected = 1,
    ftpiResolving = 2,
    ftpiConnecting = 3,
    ftpiReply = 4,
    ftpiCommand = 5,
    ftpiBusy = 6,
    ftpiResumeSupported = 7,
    ftpiResumeFailed = 8,
    ftpiProgress = 9,
    ftpiReserved = 10,
    ftpiTransferDone = 11,
    ftpiListingReady = 12,
    ftpiSyntaxError = 13,
    ftpiLoggedIn = 14,
    ftpiFileSize = 15,
    ftpiAccessDenied = 16,
    ftpiListingLine = 17,
    // TLS: the control connection is encrypted (text: version and cipher).
    ftpiTlsEstablished = 18,
    // A warning: TLS was asked for if the server supports it and it does not,
    // so the login (password included) and the data go in clear text.
    ftpiNotEncrypted = 19,
};

enum FtpError : int {
    ftpeNone = 0,
    ftpeWinsockInit = 1,
    ftpeNetworkDown = 2,
    ftpeInvalidAddress = 3,
    ftpeInternal = 4,
    ftpeGeneral = 5,
    ftpeConnectionAborted = 6,
    ftpeConnectionReset = 7,
    ftpeTimeout = 8,
    ftpeOutOfSockets = 9,
    ftpeNetworkUnreachable = 10,
    ftpeAddressNotAvailable = 11,
    ftpeConnectionRefused = 12,
    ftpeProtocol = 13,
    ftpeTransferAborted = 14,
    ftpeUnknown = 15,
    ftpeResolve = 16,
    ftpeReserved17 = 17,
    ftpeHostUnreachable = 18,
    ftpeNoServer = 19,
    ftpeReserved20 = 20,
    ftpeOpenLocalFile = 21,
    ftpeWriteLocalFile = 22,
    ftpeReadLocalFile = 23,
    ftpeNoRemoteFile = 24,
    ftpeReserved25 = 25,
    ftpeServerNotReady = 26,
    ftpeLoginRefused = 27,
    ftpeDataError = 28,
    ftpeChmodRefused = 29,
    // A TLS mode that requires TLS met a server that refused AUTH TLS, PBSZ or PROT P.
    ftpeTlsRequired = 30,
    // The TLS handshake of the control connection failed.
    ftpeTlsHandshake = 31,
    // The server's certificate failed verification and was not accepted.
    ftpeCertificateRejected = 32,
};

enum TMFtpInfoNeeded : int {
    needServer = 0,
    needUsername = 1,
    needPassword = 2,
    needAccount = 3,
    needLocalFile = 4,
    needOverwriteLocal = 5,
    needResumeDownload = 6,
    needResumeUpload = 7,
    needOverwriteRemote = 8,
};

enum TTransferType : int { BinaryTransfer = 0, AsciiTransfer = 1 };

enum TMFtpProxyType : int { proxyNone = 0, proxyUserSite = 1 };

// How the connection is secured (FTPS, RFC 4217).
enum TMFtpTlsMode : int {
    tlsPlainOnly = 0,            // plain FTP only: nothing is encrypted
    tlsExplicitIfSupported = 1,  // AUTH TLS; in clear text (with a warning) when the server refuses it
    tlsExplicitRequired = 2,     // AUTH TLS or no login
    tlsImplicitRequired = 3,     // TLS from the first byte (ftps://, port 990 by custom)
};

// The answer to a certificate that failed verification.
enum TMFtpCertificateAnswer : int {
    certReject = 0,       // the connection ends
    certAcceptOnce = 1,   // this connection goes on
    certAlwaysTrust = 2,  // stored for this host and port: accepted silently from now on
};
