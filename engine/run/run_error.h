#pragma once

#include <stdexcept>
#include <string>

namespace tessaly {

/// Why a run failed, in the sentence the user is shown. Thrown anywhere below
/// RelinkRun::perform and caught there.
class RunError : public std::runtime_error {
public:
    /// `error` is the system's error number behind the failure, 0 when there is none;
    /// `outputExists` marks a failure only because something stands at the output.
    explicit RunError(const std::string &message, int error = 0, bool outputExists = false)
        : std::runtime_error(message), m_error(error), m_outputExists(outputExists) {}

    int error() const { return m_error; }
    bool outputExists() const { return m_outputExists; }

private:
    int m_error;
    bool m_outputExists;
};

/// How a failure to write one output is told: a sentence that begins with `prefix` and ends
/// with the reason.
struct WriteFailure {
    std::string prefix; ///< up to the reason, e.g. "… could not be copied to “OUT”: "

    /// Throws the sentence with the system's reason for `error`; EEXIST counts as an output
    /// that exists.
    [[noreturn]] void raise(int error) const;
    /// Throws the sentence with `reason`.
    [[noreturn]] void raise(const std::string &reason, bool exists = false) const;
    /// Throws unless `error` is 0.
    void check(int error) const {
        if (error)
            raise(error);
    }
};

} // namespace tessaly
