// IPrefsData: the base by which the global-info object hands out the
// preferences; holders convert it back to the preferences interface
// (ICorvanePreferences derives from it).
#ifndef QV_IPREFSDATA_H
#define QV_IPREFSDATA_H

class IPrefsData {
public:
    virtual ~IPrefsData() = default;
};

#endif
