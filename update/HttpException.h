#pragma once

#include <exception>

// A transfer failed; the cause has already been logged. Thrown only inside the
// network layer and caught at the entry of the request's thread.
class CHTTPException : public std::exception
{
public:
    const char* what() const noexcept override { return "HTTP transfer failed"; }
};
