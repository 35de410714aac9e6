// The hand-over between the main thread and the server thread.
#include "frontends/web/channel.h"

#include <utility>

namespace orva::web {

void Channel::wake() {
    if (m_waker) m_waker();
}

void Channel::publish(std::string state) {
    std::lock_guard lock(m_mutex);
    m_state = std::make_shared<const std::string>(std::move(state));
    ++m_version;
    wake();
}

void Channel::end(std::string message) {
    std::lock_guard lock(m_mutex);
    m_ended = std::move(message);
    m_upload_folder.reset();
    wake();
}

void Channel::set_images(std::map<int, std::string> images) {
    std::lock_guard lock(m_mutex);
    m_images = std::move(images);
}

void Channel::set_upload_folder(std::optional<UploadFolder> folder) {
    std::lock_guard lock(m_mutex);
    m_upload_folder = std::move(folder);
}

void Channel::answer_upload(uint64_t id, UploadAnswer answer) {
    std::lock_guard lock(m_mutex);
    m_upload_answers[id] = std::move(answer);
    wake();
}

Input Channel::wait_input() {
    std::unique_lock lock(m_mutex);
    m_input_ready.wait(lock, [this] { return !m_inputs.empty(); });
    Input input = std::move(m_inputs.front());
    m_inputs.pop_front();
    m_input_bytes -= input.message.size();
    return input;
}

void Channel::set_waker(std::function<void()> waker) {
    std::lock_guard lock(m_mutex);
    m_waker = std::move(waker);
}

std::pair<uint64_t, std::shared_ptr<const std::string>> Channel::state() const {
    std::lock_guard lock(m_mutex);
    return {m_version, m_state};
}

std::optional<std::string> Channel::ended() const {
    std::lock_guard lock(m_mutex);
    return m_ended;
}

std::optional<std::string> Channel::image(int id) const {
    std::lock_guard lock(m_mutex);
    auto it = m_images.find(id);
    if (it == m_images.end()) return std::nullopt;
    return it->second;
}

std::optional<UploadFolder> Channel::upload_folder() const {
    std::lock_guard lock(m_mutex);
    return m_upload_folder;
}

std::map<uint64_t, UploadAnswer> Channel::take_upload_answers() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_upload_answers, {});
}

bool Channel::push_input(Input input) {
    {
        std::lock_guard lock(m_mutex);
        if (m_inputs.size() >= kMaxInputs || m_input_bytes + input.message.size() > kMaxInputBytes) return false;
        m_input_bytes += input.message.size();
        m_inputs.push_back(std::move(input));
    }
    m_input_ready.notify_one();
    return true;
}

}  // namespace orva::web
