#pragma once

#include "cellregister/location.h"

#include <QString>
#include <functional>
#include <memory>

// The register served as web pages: the cells table, a cell, the packs, kept live as other
// programs write. One entry point for the tool; Server for a caller that needs the port.
namespace labview {

struct Started {
    QString url; // where the pages are, with the token when one is needed
    int port = 0;
    bool tokenRequired = false; // every request needs it: not on loopback
    QString token; // set only on the start that made it, so that it is shown once
    QString tokenFile;
};

struct ServeOptions {
    cellregister::Location location;
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080; // 0: any free port
    // Where the access token is kept; empty: the default (defaultTokenFile). Made, owner-only,
    // when first needed: for another address than loopback, or for actions.
    QString tokenFile;
    bool allowActions = false; // retire and restore, with the token
    // How long an action waits for another program writing the register. Pages never wait
    // for it: they read through a connection of their own.
    int lockWaitMilliseconds = 10'000;
    std::function<void(const Started &)> started;
    // Asked about ten times a second; true ends serving.
    std::function<bool()> stop;
};

QString defaultTokenFile();

// Serves until stop() says so (or forever without it). Raises EServeFault when the address
// cannot be listened on or the token cannot be made or read, ERegisterFault when the
// register cannot be opened.
int serve(const ServeOptions &options);

class Server {
public:
    // Opens the register, listens, and serves on threads of its own.
    explicit Server(const ServeOptions &options);
    ~Server(); // stops serving
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    const Started &started() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace labview
