#include "common/PendingEvents.h"

namespace PendingEvents {
namespace {

Handler &current()
{
    static Handler handler;
    return handler;
}

} // namespace

void setHandler(Handler handler)
{
    current() = std::move(handler);
}

void process()
{
    if (current())
        current()();
}

} // namespace PendingEvents
