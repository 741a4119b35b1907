#include "tests/support/SmallStack.h"

#include <pthread.h>

#include <exception>
#include <stdexcept>

namespace tarvo::testsupport {
namespace {

struct SmallStackJob {
    const std::function<void()>* work;
    std::exception_ptr thrown;
};

void* RunSmallStackJob(void* argument) {
    auto& job = *static_cast<SmallStackJob*>(argument);
    try {
        (*job.work)();
    } catch (...) {
        job.thrown = std::current_exception();
    }
    return nullptr;
}

}  // namespace

void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes) {
    SmallStackJob job{&work, nullptr};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    const int set = pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    const int started =
        set == 0 ? pthread_create(&thread, &attributes, RunSmallStackJob, &job) : set;
    pthread_attr_destroy(&attributes);
    if (started != 0) throw std::runtime_error("no thread with a small stack could be started");
    pthread_join(thread, nullptr);
    if (job.thrown) std::rethrow_exception(job.thrown);
}

}  // namespace tarvo::testsupport
