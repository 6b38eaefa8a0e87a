#include "instruments/SoundfontLoader.h"

#include <pthread.h>

#include <chrono>

#include "instruments/LoadAnyFile.h"
#include "platform/support/Threads.h"

namespace
{

// While cleared fonts wait for their last voices, the loader looks again this often.
constexpr std::chrono::milliseconds kFreeingPace(100);

} // namespace

SoundfontLoader::SoundfontLoader(HARMOLOOM* engine, ReadyFunction ready, void* cookie)
    : engine_(engine), ready_(ready), cookie_(cookie), thread_([this] { Run(); })
{
}

SoundfontLoader::~SoundfontLoader()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
    for (auto& [ticket, font] : loaded_)
        unwanted_.push_back(font);
    for (fluid_sfont_t* font : unwanted_)
        engine_->DiscardSoundfont(font);
}

int SoundfontLoader::Load(const char* path)
{
    std::lock_guard<std::mutex> hold(mutex_);
    int ticket = next_ticket_++;
    queued_.push_back({ticket, path != nullptr ? path : ""});
    changed_.notify_all();
    return ticket;
}

void SoundfontLoader::Cancel(int ticket)
{
    std::lock_guard<std::mutex> hold(mutex_);
    std::erase_if(queued_, [ticket](const Request& request) { return request.ticket == ticket; });
    if (reading_ == ticket)
        reading_cancelled_ = true;
    changed_.notify_all();
}

bool SoundfontLoader::TakeLoaded(int* ticket, fluid_sfont_t** font)
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (loaded_.empty())
        return false;
    *ticket = loaded_.front().first;
    *font = loaded_.front().second;
    loaded_.pop_front();
    return true;
}

void SoundfontLoader::Discard(fluid_sfont_t* font)
{
    if (font == nullptr)
        return;
    std::lock_guard<std::mutex> hold(mutex_);
    unwanted_.push_back(font);
    changed_.notify_all();
}

void SoundfontLoader::WaitUntilIdle()
{
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return stopping_ || (queued_.empty() && reading_ == 0); });
}

bool SoundfontLoader::Stop()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
        queued_.clear();
        changed_.notify_all();
        if (reading_ != 0)
            return false;
    }
    if (thread_.joinable())
        thread_.join();
    return true;
}

void SoundfontLoader::FreeUnwanted(std::unique_lock<std::mutex>& held)
{
    std::vector<fluid_sfont_t*> fonts;
    fonts.swap(unwanted_);
    held.unlock();
    for (fluid_sfont_t* font : fonts)
        engine_->DiscardSoundfont(font);
    held.lock();
}

void SoundfontLoader::Run()
{
    use_alternate_signal_stack();
    pthread_setname_np(pthread_self(), "sf_loader");
    std::unique_lock<std::mutex> held(mutex_);
    while (!stopping_)
    {
        FreeUnwanted(held);
        if (queued_.empty())
        {
            held.unlock();
            bool waiting = engine_->FreeClearedSoundfonts();
            held.lock();
            if (stopping_ || !queued_.empty() || !unwanted_.empty())
                continue;
            if (waiting)
                changed_.wait_for(held, kFreeingPace);
            else
                changed_.wait(held);
            continue;
        }
        Request request = std::move(queued_.front());
        queued_.pop_front();
        reading_ = request.ticket;
        reading_cancelled_ = false;
        held.unlock();
        fluid_sfont_t* font = PrepareAnyFile(engine_, request.path.c_str());
        held.lock();
        if (reading_cancelled_ || stopping_)
        {
            if (font != nullptr)
                unwanted_.push_back(font);
        }
        else
        {
            loaded_.emplace_back(request.ticket, font);
            // Still reading until the window has heard of it: where the window handles its
            // messages on the posting thread, the font has joined once the loader is idle.
            held.unlock();
            ready_(cookie_);
            held.lock();
        }
        reading_ = 0;
        changed_.notify_all();
    }
    FreeUnwanted(held);
}
