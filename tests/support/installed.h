#pragma once

#include <memory>
#include <utility>

namespace kelvara::test {

// The value a program-wide installer takes and hands back: the service it replaced.
template <typename Value> Value installedValue(Value (*)(Value));

// Puts a stand-in in place of a program-wide service for a scope and the one it replaced back
// after. `install` is the service's own installer, which hands back what it replaced: the
// dialogs (&Dialogs::install), the grid's companion windows (&GridCompanions::install), the
// rendition maker (&installRenditionMaker), the store's busy timeout.
template <auto install> class Installed
{
public:
    using Value = decltype(installedValue(install));

    explicit Installed(Value standIn) : m_previous(install(std::move(standIn))) { }
    ~Installed() { install(std::move(m_previous)); }
    Installed(const Installed &) = delete;
    Installed &operator=(const Installed &) = delete;

private:
    Value m_previous;
};

// A stand-in made for a scope and installed, which the test reaches through -> and *.
template <auto install, typename StandIn> class InstalledStandIn
{
public:
    template <typename... Args>
    explicit InstalledStandIn(Args &&...args) : InstalledStandIn(std::make_unique<StandIn>(std::forward<Args>(args)...))
    { }

    StandIn *operator->() const { return m_standIn; }
    StandIn &operator*() const { return *m_standIn; }

private:
    explicit InstalledStandIn(std::unique_ptr<StandIn> made) : m_standIn(made.get()), m_installed(std::move(made)) { }

    StandIn *m_standIn;
    Installed<install> m_installed;
};

// A wait for another program's lock that a test which holds one on purpose can afford, in
// milliseconds (for sql::Database::setBusyTimeout): the answer is the same, only sooner.
constexpr int kBriefBusyWait = 100;

}  // namespace kelvara::test
