#include "platform/media/JackServerProbe.h"

#include <jack/jack.h>

namespace
{

void no_report(const char*) {}

} // namespace

JackServerState probe_jack_server(const char* client_name)
{
    jack_set_error_function(no_report);
    jack_status_t status = static_cast<jack_status_t>(0);
    jack_client_t* client = jack_client_open(client_name, JackNoStartServer, &status);
    if (client != nullptr)
    {
        jack_client_close(client);
        return JackServerState::running;
    }
    // JackServerFailed is set when no server could be reached at all; any other failure came
    // from a server that is there.
    return (status & JackServerFailed) != 0 ? JackServerState::absent : JackServerState::busy;
}
