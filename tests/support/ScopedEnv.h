// ScopedEnv: sets (or, with a null value, removes) an environment variable for
// one test and puts the old value back when it goes.
#ifndef VTEST_SCOPEDENV_H
#define VTEST_SCOPEDENV_H

#include <cstdlib>
#include <string>

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name) {
        const char *old = std::getenv(name);
        m_had = old != nullptr;
        if (m_had) m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string m_name, m_old;
    bool m_had = false;
};

#endif
