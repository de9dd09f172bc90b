#pragma once

#include <memory>

namespace kelvara {

// The one instance of a program-wide service that tests replace: a Default until another is
// installed, and again once none is.
template <typename Service, typename Default> class ServiceSlot
{
public:
    static Service &instance() { return *slot(); }

    // Installs a service and gives back the one it replaces.
    static std::unique_ptr<Service> install(std::unique_ptr<Service> service)
    {
        std::unique_ptr<Service> previous = std::move(slot());
        slot() = service ? std::move(service) : std::make_unique<Default>();
        return previous;
    }

private:
    static std::unique_ptr<Service> &slot()
    {
        static std::unique_ptr<Service> service = std::make_unique<Default>();
        return service;
    }
};

}  // namespace kelvara
