// The sequencer call table on alsa-lib.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/midi/SequencerCalls.h"
#include "platform/support/QuietAlsa.h"

struct SequencerHandle
{
    snd_seq_t* sequencer = nullptr;
    snd_midi_event_t* decoder = nullptr;
    // What is left of a system-exclusive event, handed over a piece at a time: alsa-lib keeps
    // the event until the next input call.
    const uint8_t* exclusive = nullptr;
    size_t exclusive_left = 0;
    SequencerAddress exclusive_source;
    SequencerAddress exclusive_dest;
};

namespace
{

SequencerHandle* open(const char* name, int input_pool, std::string* why)
{
    // The sequencer's absence is no error to print: JACK MIDI is tried next.
    snd_seq_t* sequencer = nullptr;
    int status;
    {
        QuietAlsa quiet;
        status = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    }
    if (status < 0)
    {
        *why += std::string("alsa: no sequencer (") + snd_strerror(status) + "); ";
        return nullptr;
    }
    auto* handle = new SequencerHandle;
    handle->sequencer = sequencer;
    snd_seq_set_client_name(sequencer, name);
    // Kernel-side room is best effort: a smaller pool still works.
    snd_seq_set_client_pool_input(sequencer, static_cast<size_t>(input_pool));
    if (snd_midi_event_new(sizeof(SequencerEvent::bytes), &handle->decoder) < 0)
    {
        *why += "alsa: no memory for the event decoder; ";
        snd_seq_close(sequencer);
        delete handle;
        return nullptr;
    }
    snd_midi_event_no_status(handle->decoder, 1); // every message whole, with its status byte
    return handle;
}

void close(SequencerHandle* handle)
{
    snd_midi_event_free(handle->decoder);
    snd_seq_close(handle->sequencer);
    delete handle;
}

int client_id(SequencerHandle* handle)
{
    return snd_seq_client_id(handle->sequencer);
}

int create_input_port(SequencerHandle* handle, const char* name)
{
    return snd_seq_create_simple_port(
        handle->sequencer, name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
}

bool watch_announcements(SequencerHandle* handle, int port)
{
    return snd_seq_connect_from(handle->sequencer, port, SND_SEQ_CLIENT_SYSTEM,
                                SND_SEQ_PORT_SYSTEM_ANNOUNCE) >= 0;
}

std::vector<SequencerPort> list_ports(SequencerHandle* handle)
{
    std::vector<SequencerPort> ports;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(handle->sequencer, client) >= 0)
    {
        int id = snd_seq_client_info_get_client(client);
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(handle->sequencer, port) >= 0)
        {
            SequencerPort entry;
            entry.address = {id, snd_seq_port_info_get_port(port)};
            entry.client_name = snd_seq_client_info_get_name(client);
            entry.port_name = snd_seq_port_info_get_name(port);
            entry.kernel_client = snd_seq_client_info_get_type(client) == SND_SEQ_KERNEL_CLIENT;
            entry.type = snd_seq_port_info_get_type(port);
            entry.capability = snd_seq_port_info_get_capability(port);
            ports.push_back(std::move(entry));
        }
    }
    return ports;
}

bool connect(SequencerHandle* handle, SequencerAddress source, int our_port)
{
    return snd_seq_connect_from(handle->sequencer, our_port, source.client, source.port) >= 0;
}

int descriptor(SequencerHandle* handle)
{
    pollfd descriptor{};
    if (snd_seq_poll_descriptors(handle->sequencer, &descriptor, 1, POLLIN) != 1)
        return -1;
    return descriptor.fd;
}

SequencerEvent::Kind kind_of(const snd_seq_event_t& event)
{
    switch (event.type)
    {
    case SND_SEQ_EVENT_PORT_START:
        return SequencerEvent::kPortStarted;
    case SND_SEQ_EVENT_PORT_EXIT:
        return SequencerEvent::kPortExited;
    case SND_SEQ_EVENT_CLIENT_EXIT:
        return SequencerEvent::kClientExited;
    case SND_SEQ_EVENT_PORT_SUBSCRIBED:
        return SequencerEvent::kConnected;
    case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
        return SequencerEvent::kDisconnected;
    default:
        return snd_seq_ev_is_channel_type(&event) || event.type == SND_SEQ_EVENT_SENSING ||
                       event.type == SND_SEQ_EVENT_SYSEX
                   ? SequencerEvent::kMessage
                   : SequencerEvent::kOther;
    }
}

// The next piece of a system-exclusive event; the pieces go together again in the input's
// SysexAssembler.
void next_exclusive_piece(SequencerHandle* handle, SequencerEvent* out)
{
    *out = SequencerEvent{};
    out->kind = SequencerEvent::kMessage;
    out->source = handle->exclusive_source;
    out->dest = handle->exclusive_dest;
    out->length = static_cast<uint8_t>(std::min(handle->exclusive_left, sizeof(out->bytes)));
    std::memcpy(out->bytes, handle->exclusive, out->length);
    handle->exclusive += out->length;
    handle->exclusive_left -= out->length;
}

bool next_event(SequencerHandle* handle, SequencerEvent* out)
{
    if (handle->exclusive_left > 0)
    {
        next_exclusive_piece(handle, out);
        return true;
    }
    snd_seq_event_t* event = nullptr;
    int status = snd_seq_event_input(handle->sequencer, &event);
    // An overrun (-ENOSPC) is counted by the kernel (lost_events); what follows is read on.
    if (status == -ENOSPC)
        status = snd_seq_event_input(handle->sequencer, &event);
    if (status < 0 || event == nullptr)
        return false;
    *out = SequencerEvent{};
    out->kind = kind_of(*event);
    switch (out->kind)
    {
    case SequencerEvent::kMessage:
    {
        out->source = {event->source.client, event->source.port};
        out->dest = {event->dest.client, event->dest.port};
        if (event->type == SND_SEQ_EVENT_SYSEX)
        {
            handle->exclusive = static_cast<const uint8_t*>(event->data.ext.ptr);
            handle->exclusive_left = event->data.ext.len;
            handle->exclusive_source = out->source;
            handle->exclusive_dest = out->dest;
            next_exclusive_piece(handle, out);
            break;
        }
        long length = snd_midi_event_decode(handle->decoder, out->bytes, sizeof(out->bytes), event);
        out->length = length > 0 ? static_cast<uint8_t>(length) : 0;
        break;
    }
    case SequencerEvent::kPortStarted:
    case SequencerEvent::kPortExited:
        out->source = {event->data.addr.client, event->data.addr.port};
        break;
    case SequencerEvent::kClientExited:
        out->source = {event->data.addr.client, -1};
        break;
    case SequencerEvent::kConnected:
    case SequencerEvent::kDisconnected:
        out->source = {event->data.connect.sender.client, event->data.connect.sender.port};
        out->dest = {event->data.connect.dest.client, event->data.connect.dest.port};
        break;
    default:
        break;
    }
    return true;
}

uint64 lost_events(SequencerHandle* handle)
{
    snd_seq_client_info_t* info;
    snd_seq_client_info_alloca(&info);
    if (snd_seq_get_client_info(handle->sequencer, info) < 0)
        return 0;
    return static_cast<uint64>(snd_seq_client_info_get_event_lost(info));
}

const SequencerCalls alsa_calls = {
    open,       close,   client_id,  create_input_port, watch_announcements,
    list_ports, connect, descriptor, next_event,        lost_events};

std::atomic<const SequencerCalls*> current_calls{&alsa_calls};

} // namespace

const SequencerCalls& AlsaSequencerCalls()
{
    return alsa_calls;
}

const SequencerCalls& CurrentSequencerCalls()
{
    return *current_calls.load();
}

void UseSequencerCalls(const SequencerCalls* calls)
{
    current_calls = calls != nullptr ? calls : &alsa_calls;
}
