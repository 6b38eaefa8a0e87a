// Whether a JACK server runs, asked of libjack itself. RtAudio and RtMidi only say that a JACK
// client could not be made, which cannot tell a server that is not there (try the next back end
// at once) from one that turned a client away while busy (worth asking again).
#pragma once

enum class JackServerState
{
    absent,  // no server answered
    busy,    // a server answered but refused the client
    running, // a client could be opened (and has been closed again)
};

// Opens a client named client_name on the default server (JACK_DEFAULT_SERVER) without ever
// starting a server, reads the state from its status and closes it again. libjack's own error
// messages are silenced, as RtAudio does, since a missing server is no error here. Any thread
// but a JACK callback; not real-time safe (talks to the server, takes milliseconds).
JackServerState probe_jack_server(const char* client_name);
