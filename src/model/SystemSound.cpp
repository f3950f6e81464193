#include "model/SystemSound.h"

#include <canberra.h>

namespace SystemSound {

void playComplete()
{
    // One context for the program's life, made on first use; none when it cannot be made.
    static ca_context *context = [] {
        ca_context *made = nullptr;
        return ca_context_create(&made) == CA_SUCCESS ? made : nullptr;
    }();
    if (context)
        ca_context_play(context, 0, CA_PROP_EVENT_ID, "complete", nullptr);
}

} // namespace SystemSound
