// Several radios at once: each RadioJob is one radio's port, opened the one way
// a download opens it, and its download job, whose observer posts what happens
// to one queue that the front end's thread reads. The command line's flash and
// station run them side by side, one per port; nothing here is the front end's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/DownloadJob.h"
#include "firmware/JobObserver.h"
#include "serial/CMscomm.h"
#include "settings/SettingsStore.h"

namespace korvane::radios {

// One thing a radio's job told, as its job told it: in the order it happened
// for that radio.
struct RadioEvent {
    std::size_t radio = 0;
    firmware::JobEvent event;
};

// Events of every radio, posted from the workers and taken by the front end.
class RadioEvents {
public:
    void Post(RadioEvent event);
    std::vector<RadioEvent> Take();

private:
    std::mutex m_mutex;
    std::vector<RadioEvent> m_events;
};

// The images of one run (read once, the same bytes for every radio) and how
// every job sends them.
struct FlashImages {
    firmware::Pacing pacing = firmware::Pacing::Patient;
    bool verify = false;
    firmware::UpgradeMode mode = firmware::UpgradeMode::UserProgram;
    std::vector<std::uint8_t> boot;
    std::vector<std::uint8_t> user;
};

class RadioJob : private firmware::IJobObserver {
public:
    RadioJob(std::size_t index, RadioEvents& events, settings::SettingsStore& settings);
    ~RadioJob() override;
    RadioJob(const RadioJob&) = delete;
    RadioJob& operator=(const RadioJob&) = delete;

    // Opens the port for a download; throws the port's korvane::Error.
    void Open(const std::string& device);
    void Start(const FlashImages& images);
    // Asks the job to stop at its next poll; safe from any thread.
    void RequestStop();
    // Waits for the job's end and closes the port.
    void Finish();

private:
    void OnEvent(const firmware::JobEvent& event) override;

    std::size_t m_index;
    RadioEvents& m_events;
    serial::CMscomm m_port;
    firmware::DownloadJob m_job;
};

}  // namespace korvane::radios
