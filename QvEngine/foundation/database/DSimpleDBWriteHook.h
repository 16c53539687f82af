// For tests only: a hook that the record database calls after each write it
// makes to its files (the database file, the copy a new database is written
// to, the snapshot's copy and each rename), so that a test can end its
// process there and see what a kill at that point leaves. Programs never set
// it. Null removes it.
#ifndef QV_DSIMPLEDBWRITEHOOK_H
#define QV_DSIMPLEDBWRITEHOOK_H

typedef void (*DBWriteHook)(void);
void DBSetWriteHook(DBWriteHook hook);

// Called by the database after each of its writes.
void DBAfterWrite();

#endif
