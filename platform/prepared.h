#pragma once
// The answers a test gives a platform service in advance, instead of a
// person or the desktop (a message box, a file dialog, the shell, the
// bus): taken in order; with none left and the service told not to ask,
// each call takes its default.

#include <deque>
#include <utility>

template <class Answer>
class PreparedAnswers {
public:
    void push(Answer answer) { next_.push_back(std::move(answer)); }
    void setNonInteractive(bool on) { nonInteractive_ = on; }
    void clear() { next_.clear(); }
    // Whether the next call is answered here rather than by the service.
    bool answersHere() const { return nonInteractive_ || !next_.empty(); }
    // Puts the next prepared answer in `answer`, or `fallback` when none
    // is left and the service may not ask; false: the service answers.
    bool take(Answer& answer, const Answer& fallback)
    {
        if (!next_.empty()) {
            answer = std::move(next_.front());
            next_.pop_front();
            return true;
        }
        if (nonInteractive_)
            answer = fallback;
        return nonInteractive_;
    }

private:
    std::deque<Answer> next_;
    bool nonInteractive_ = false;
};
