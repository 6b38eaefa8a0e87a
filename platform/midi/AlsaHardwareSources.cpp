#include "platform/midi/AlsaHardwareSources.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <cstring>
#include <vector>

void connect_hardware_source(int index, const char* port_name)
{
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0)
        return;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);

    snd_seq_addr_t ours = {};
    bool found_ours = false;
    std::vector<snd_seq_addr_t> sources;
    const unsigned readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(sequencer, client) >= 0)
    {
        int id = snd_seq_client_info_get_client(client);
        bool this_process = snd_seq_client_info_get_pid(client) == getpid();
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(sequencer, port) >= 0)
        {
            snd_seq_addr_t address = *snd_seq_port_info_get_addr(port);
            unsigned capability = snd_seq_port_info_get_capability(port);
            if (this_process && std::strcmp(snd_seq_port_info_get_name(port), port_name) == 0)
            {
                ours = address;
                found_ours = true;
            }
            else if (!this_process &&
                     (snd_seq_port_info_get_type(port) & SND_SEQ_PORT_TYPE_HARDWARE) != 0 &&
                     (capability & readable) == readable &&
                     (capability & SND_SEQ_PORT_CAP_NO_EXPORT) == 0)
            {
                sources.push_back(address);
            }
        }
    }
    if (found_ours && index >= 0 && static_cast<size_t>(index) < sources.size())
    {
        snd_seq_port_subscribe_t* subscription;
        snd_seq_port_subscribe_alloca(&subscription);
        snd_seq_port_subscribe_set_sender(subscription, &sources[static_cast<size_t>(index)]);
        snd_seq_port_subscribe_set_dest(subscription, &ours);
        snd_seq_subscribe_port(sequencer, subscription);
    }
    snd_seq_close(sequencer);
}

namespace
{

void no_report(const char*, int, const char*, int, const char*, ...) {}

} // namespace

bool alsa_sequencer_available()
{
    snd_lib_error_set_handler(no_report);
    snd_seq_t* sequencer = nullptr;
    bool available = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, 0) >= 0;
    if (available)
        snd_seq_close(sequencer);
    snd_lib_error_set_handler(nullptr);
    return available;
}
