// IActiveTaskManagerDriver: what the task manager tells its owner. TaskReady
// says a task of the given priority may run; NoTaskReady says no ready list
// holds a task any more. Both are called on the manager's owner thread.
#ifndef QV_IACTIVETASKMANAGERDRIVER_H
#define QV_IACTIVETASKMANAGERDRIVER_H

class IActiveTaskManagerDriver {
public:
    virtual void NoTaskReady() = 0;
    virtual void TaskReady(int priority) = 0;
    virtual ~IActiveTaskManagerDriver() = default;
};

#endif
