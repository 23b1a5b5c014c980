#pragma once

#include "core/file_operations.h"
#include "core/rename_run.h"
#include "core/run_passes.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tallyfox {

struct Transferred
{
    int error = 0;
    std::string aside;  // where a move that failed left its source
    bool taken = false; // something stood at the target: nothing was done, the user is asked first
};

// One file to the save folder unless something stands there already. A copy that may not replace
// looks at its target itself before it copies anything; a move is held back by a look first.
Transferred transferOne(FileOperations& operations, const std::string& source, const std::string& target, bool move);

// Copies or moves files to free names on threads of their own, and on the run's while it waits, as the
// run offers them; the run takes each file's outcome in list order, so a copy waits neither for the
// renames of the files after it nor for the bar or the question of the file before it. Files whose
// targets are taken are left to the run, which asks before replacing anything.
class TransferCrew
{
public:
    TransferCrew(const std::vector<Planned>& files, const RunRequest& request, FileOperations& operations)
        : m_files(files)
        , m_folder(request.folder)
        , m_saveFolder(request.saveFolder)
        , m_move(request.naming.operation == FileOperation::RenameMove)
        , m_operations(operations)
        , m_done(files.size())
        , m_state(files.size(), State::Waiting)
    {
        m_queue.reserve(files.size());
        if (files.size() < 2) {
            return;
        }
        // The run's own thread is one of the crew once it waits for outcomes.
        for (std::unique_ptr<FileOperations>& helper : operations.helpers(request.folder, request.saveFolder)) {
            try {
                m_threads.emplace_back(&TransferCrew::work, this, std::move(helper));
            } catch (const std::system_error&) {
                break; // the threads started are enough
            }
        }
    }

    ~TransferCrew()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true; // nothing more is begun once the run stops taking outcomes
        }
        m_work.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    TransferCrew(const TransferCrew&) = delete;
    TransferCrew& operator=(const TransferCrew&) = delete;

    // Whether files are copied or moved here at all; else the run does each itself.
    bool working() const
    {
        return !m_threads.empty();
    }

    // The file at `index` has its new name for good: it may be copied or moved from now on.
    void offer(std::size_t index)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_state[index] != State::Waiting) {
                return; // a file is copied once, whatever happens
            }
            m_queue.push_back(index);
            m_state[index] = State::Offered;
        }
        m_work.notify_one();
    }

    // No more files are offered.
    void close()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_work.notify_all();
    }

    std::string source(std::size_t index) const
    {
        return m_folder + "/" + std::string(m_files[index].final());
    }
    std::string target(std::size_t index) const
    {
        return m_saveFolder + "/" + std::string(m_files[index].final());
    }

    // The outcome of the file at `index`; until it is there, files offered that no one has begun are
    // done here.
    Transferred take(std::size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (m_state[index] == State::Done) {
                return std::move(m_done[index]);
            }
            if (m_state[index] == State::Waiting) {
                m_state[index] = State::Begun; // never offered: done here and now
                lock.unlock();
                return transferOne(m_operations, source(index), target(index), m_move);
            }
            if (m_begun < m_queue.size()) {
                const std::size_t next = m_queue[m_begun++];
                m_state[next] = State::Begun;
                lock.unlock();
                finish(m_operations, next);
                lock.lock();
                continue;
            }
            m_changed.wait(lock);
        }
    }

private:
    enum class State : char
    {
        Waiting,
        Offered,
        Begun,
        Done,
    };

    void work(std::unique_ptr<FileOperations> operations)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [&] {
                return m_stopped || m_closed || m_begun < m_queue.size();
            });
            if (m_stopped || m_begun == m_queue.size()) {
                return;
            }
            const std::size_t next = m_queue[m_begun++];
            m_state[next] = State::Begun;
            lock.unlock();
            finish(*operations, next);
            lock.lock();
        }
    }

    void finish(FileOperations& operations, std::size_t index)
    {
        Transferred done;
        try {
            done = transferOne(operations, source(index), target(index), m_move);
        } catch (const std::bad_alloc&) {
            done.error = ENOMEM;
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done[index] = std::move(done);
            m_state[index] = State::Done;
        }
        m_changed.notify_one();
    }

    // Read by every thread; only the names of files that have reached them, which no longer change.
    const std::vector<Planned>& m_files;
    const std::string& m_folder;
    const std::string& m_saveFolder;
    const bool m_move;
    FileOperations& m_operations; // the run's
    std::vector<Transferred> m_done;
    std::vector<State> m_state;
    std::vector<std::size_t> m_queue; // offered, in the order offered
    std::size_t m_begun = 0;          // how many of the queue have been begun
    bool m_closed = false;
    bool m_stopped = false;
    std::mutex m_mutex;
    std::condition_variable m_work;    // files offered, or the end
    std::condition_variable m_changed; // an outcome is there
    std::vector<std::thread> m_threads;
};

} // namespace tallyfox
