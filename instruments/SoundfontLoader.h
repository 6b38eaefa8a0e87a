// The loader thread: instrument files are read one after another, in the order asked, while the
// window and the music go on; between loads it frees the fonts the engine cleared.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/Harmoloom.h"

class SoundfontLoader
{
public:
    // ready is called on the loader thread, holding none of the loader's locks, after each load
    // that was not cancelled (failed or not): a result waits for TakeLoaded.
    typedef void (*ReadyFunction)(void* cookie);
    SoundfontLoader(HARMOLOOM* engine, ReadyFunction ready, void* cookie);
    // Stops, waiting for a file being read, and frees what nobody took.
    ~SoundfontLoader();

    SoundfontLoader(const SoundfontLoader&) = delete;
    SoundfontLoader& operator=(const SoundfontLoader&) = delete;

    // Queues the file; returns its ticket (never 0).
    int Load(const char* path);
    // The file is not loaded, or its font is freed once read.
    void Cancel(int ticket);
    // The oldest result: its ticket and the font to join, null when the file did not load.
    bool TakeLoaded(int* ticket, fluid_sfont_t** font);
    // A font taken that nobody wants any more: freed on the loader thread.
    void Discard(fluid_sfont_t* font);
    // Waits until nothing is queued or being read, and the last ready call has returned.
    void WaitUntilIdle();
    // Nothing more is loaded. True when the thread has ended; false while it reads a file,
    // which it then frees before it ends (the engine must stay until then).
    bool Stop();

private:
    struct Request
    {
        int ticket;
        std::string path;
    };

    void Run();
    // Frees the fonts nobody wants. Mutex held on entry and exit, not during.
    void FreeUnwanted(std::unique_lock<std::mutex>& held);

    HARMOLOOM* engine_;
    ReadyFunction ready_;
    void* cookie_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Request> queued_;
    std::deque<std::pair<int, fluid_sfont_t*>> loaded_;
    std::vector<fluid_sfont_t*> unwanted_;
    int next_ticket_ = 1;
    int reading_ = 0; // the ticket of the file being read, 0 when none
    bool reading_cancelled_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
