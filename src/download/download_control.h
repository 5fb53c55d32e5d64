// The download control of both builds. The platform's transport moves the bytes on a worker
// thread; this control, on the calling (window) thread, writes them to a temporary file
// beside the target, raises the progress reports, hands cancels over, enforces every
// deadline and puts the finished file in place, so that every build behaves the same:
// - up to the first body byte of the final response, connect + stall timeout at most,
//   whatever the server does (name resolution and redirect hops included);
// - after it, a stall window that brings fewer than stall_bytes, and not the end, is a stall;
// - a cancel ends the transfer at the next report (a quarter of a second at most);
// - a transient failure is tried again, after a wait, at most `attempts` in all; a later
//   attempt asks only for the rest when the server vouches that the file is the same
//   version, and a file never comes out joined from two versions;
// - the worker is never waited for and its handles are never touched from here: once a
//   deadline passes or a cancel comes, it is left to finish its call and clean up itself;
// - the target is replaced only by an atomic rename of a complete download (a refused one
//   is tried again for a while), or written in place when another program holds it open,
//   after the room for it has been checked.
// Every deadline, wait and sleep is on the clock given, so that a fake one can run them.
#pragma once

#include <functional>
#include <memory>

#include "download/download_options.h"
#include "platform/clock.h"
#include "platform/download_file.h"
#include "platform/download_files.h"
#include "platform/http_transport.h"

namespace velmorin {

// A new transport for each transfer: the worker owns it and destroys it when done.
using TransportFactory = std::function<std::unique_ptr<platform::HttpTransport>()>;

// `files` and `clock` must outlive the control.
std::unique_ptr<platform::DownloadFile> MakeDownloadControl(TransportFactory transports, platform::DownloadFiles& files,
                                                            platform::Clock& clock, DownloadOptions options = {});

}  // namespace velmorin
