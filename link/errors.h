#pragma once

#include "core/error.h"
#include "link/fault.h"

namespace analyzer {

// The one error the link raises. Its message() is a bare tag for logs, never shown: the
// front end that catches it words fault().
class LinkError : public ::core::Error {
public:
    explicit LinkError(LinkFault fault)
        : ::core::Error(QStringLiteral("link fault %1").arg(int(fault.kind))),
          fault_(std::move(fault))
    { }

    const LinkFault &fault() const noexcept { return fault_; }

private:
    LinkFault fault_;
};

} // namespace analyzer
