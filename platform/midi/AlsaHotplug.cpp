#include "platform/midi/AlsaHotplug.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/support/Threads.h"

namespace
{

constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;

std::mutex watched_lock;
std::vector<std::string> watched; // our ports, in the order they were made
std::thread watcher;
std::atomic<bool> quitting{false};

bool is_hardware_source(snd_seq_t* sequencer, const snd_seq_addr_t& address)
{
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    if (snd_seq_get_any_port_info(sequencer, address.client, address.port, info) < 0)
        return false;
    unsigned capability = snd_seq_port_info_get_capability(info);
    return (snd_seq_port_info_get_type(info) & SND_SEQ_PORT_TYPE_HARDWARE) != 0 &&
           (capability & kReadable) == kReadable && (capability & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
}

// The address of this process's port of that name; false when there is none.
bool find_ours(snd_seq_t* sequencer, const std::string& name, snd_seq_addr_t* address)
{
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(sequencer, client) >= 0)
    {
        if (snd_seq_client_info_get_pid(client) != getpid())
            continue;
        snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(sequencer, port) >= 0)
        {
            if (name == snd_seq_port_info_get_name(port))
            {
                *address = *snd_seq_port_info_get_addr(port);
                return true;
            }
        }
    }
    return false;
}

bool has_hardware_source(snd_seq_t* sequencer, const snd_seq_addr_t& ours)
{
    snd_seq_query_subscribe_t* query;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_query_subscribe_set_root(query, &ours);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_WRITE);
    for (int index = 0;; index++)
    {
        snd_seq_query_subscribe_set_index(query, index);
        if (snd_seq_query_port_subscribers(sequencer, query) < 0)
            return false;
        if (is_hardware_source(sequencer, *snd_seq_query_subscribe_get_addr(query)))
            return true;
    }
}

void source_appeared(snd_seq_t* sequencer, const snd_seq_addr_t& source)
{
    if (!is_hardware_source(sequencer, source))
        return;
    std::vector<std::string> ports;
    {
        std::lock_guard<std::mutex> hold(watched_lock);
        ports = watched;
    }
    for (const std::string& name : ports)
    {
        snd_seq_addr_t ours;
        if (!find_ours(sequencer, name, &ours) || has_hardware_source(sequencer, ours))
            continue;
        snd_seq_port_subscribe_t* subscription;
        snd_seq_port_subscribe_alloca(&subscription);
        snd_seq_port_subscribe_set_sender(subscription, &source);
        snd_seq_port_subscribe_set_dest(subscription, &ours);
        snd_seq_subscribe_port(sequencer, subscription);
        return;
    }
}

void watch()
{
    use_alternate_signal_stack();
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0)
        return;
    snd_seq_set_client_name(sequencer, "Harmoloom watcher");
    int port = snd_seq_create_simple_port(sequencer, "announcements",
                                          SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                          SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_from(sequencer, port, SND_SEQ_CLIENT_SYSTEM,
                                         SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0)
    {
        snd_seq_close(sequencer);
        return;
    }
    std::vector<pollfd> descriptors(
        static_cast<size_t>(snd_seq_poll_descriptors_count(sequencer, POLLIN)));
    snd_seq_poll_descriptors(sequencer, descriptors.data(),
                             static_cast<unsigned>(descriptors.size()), POLLIN);
    while (!quitting)
    {
        // Woken every 0.2 s at most, to see whether it should end.
        if (poll(descriptors.data(), descriptors.size(), 200) <= 0)
            continue;
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(sequencer, &event) >= 0 && event != nullptr)
        {
            if (event->type == SND_SEQ_EVENT_PORT_START)
                source_appeared(sequencer, event->data.addr);
        }
    }
    snd_seq_close(sequencer);
}

} // namespace

void watch_hardware_sources(const char* port_name)
{
    std::lock_guard<std::mutex> hold(watched_lock);
    watched.emplace_back(port_name);
    if (!watcher.joinable())
    {
        quitting = false;
        watcher = std::thread(watch);
    }
}

void unwatch_hardware_sources(const char* port_name)
{
    std::thread ending;
    {
        std::lock_guard<std::mutex> hold(watched_lock);
        auto found = std::find(watched.begin(), watched.end(), port_name);
        if (found != watched.end())
            watched.erase(found);
        if (!watched.empty() || !watcher.joinable())
            return;
        ending = std::move(watcher);
    }
    quitting = true;
    ending.join();
}
