// The loader and the slot table as the Soundfonts page drives them, without a window: a file is
// added and read on the loader thread, then joins the engine as the page's message would have it.
#pragma once

#include <atomic>
#include <functional>

#include "instruments/SlotTable.h"
#include "platform/support/Threads.h"

class PageLoads
{
public:
    explicit PageLoads(HARMOLOOM* engine) : loader(engine, Counted, &read_) {}

    // Adds the file as the page does; when the table took it, calls meanwhile (or sleeps a
    // millisecond) until the loader has read it. False when the table refused it.
    bool Add(const char* path, const std::function<void()>& meanwhile = nullptr)
    {
        int reads = read_ + 1;
        if (!AddSoundfontFile(path, fonts, &loader))
            return false;
        while (read_ < reads)
            meanwhile != nullptr ? meanwhile() : static_cast<void>(snooze(1000));
        return true;
    }
    // Every file read joins (or leaves with its alert); the last one's slot, -1 when it left.
    int Join()
    {
        int slot = -1;
        int ticket = 0;
        fluid_sfont_t* font = nullptr;
        while (loader.TakeLoaded(&ticket, &font))
            slot = SoundfontLoaded(ticket, font, fonts, &loader);
        return slot;
    }

private:
    static void Counted(void* count) { ++*static_cast<std::atomic<int>*>(count); }
    std::atomic<int> read_{0};

public:
    SlotFont fonts[SOUNDFONT_SLOTS] = {};
    SoundfontLoader loader; // last: its thread ends before the rest goes
};
