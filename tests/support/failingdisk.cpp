#include "failingdisk.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace kelvara::test {

namespace {

struct State
{
    sqlite3_vfs *real = nullptr;
    FailingDisk::Fault fault = FailingDisk::Fault::Full;
    QByteArray file;  // absolute path the fault is for; empty: every file
    qint64 room = 0;
};

State state;
sqlite3_vfs shim;

// Our file handle, followed in the same allocation by the real layer's.
struct ShimFile
{
    sqlite3_file base;
    bool targeted;
    sqlite3_file *real() { return reinterpret_cast<sqlite3_file *>(this + 1); }
};

ShimFile *shimOf(sqlite3_file *file)
{
    return reinterpret_cast<ShimFile *>(file);
}
sqlite3_file *realOf(sqlite3_file *file)
{
    return shimOf(file)->real();
}

bool targets(const char *name)
{
    if (state.file.isEmpty() || !name)
        return state.file.isEmpty();
    return QFileInfo(QString::fromUtf8(name)).absoluteFilePath().toUtf8() == state.file;
}

// Takes room for what grows a file past its present end; false when the disk is full.
bool takeRoom(qint64 grows)
{
    if (state.fault != FailingDisk::Fault::Full || grows <= 0)
        return true;
    if (grows > state.room)
        return false;
    state.room -= grows;
    return true;
}

int xClose(sqlite3_file *f)
{
    sqlite3_file *real = realOf(f);
    return real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
}

int xRead(sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset)
{
    if (state.fault == FailingDisk::Fault::ReadError && shimOf(f)->targeted) {
        errno = EIO;
        return SQLITE_IOERR_READ;
    }
    sqlite3_file *real = realOf(f);
    return real->pMethods->xRead(real, buffer, amount, offset);
}

int xWrite(sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset)
{
    sqlite3_file *real = realOf(f);
    sqlite3_int64 size = 0;
    real->pMethods->xFileSize(real, &size);
    if (!takeRoom(offset + amount - size))
        return SQLITE_FULL;
    return real->pMethods->xWrite(real, buffer, amount, offset);
}

int xTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    sqlite3_file *real = realOf(f);
    return real->pMethods->xTruncate(real, size);
}

int xSync(sqlite3_file *f, int flags)
{
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int xFileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    return realOf(f)->pMethods->xFileSize(realOf(f), size);
}
int xLock(sqlite3_file *f, int lock)
{
    return realOf(f)->pMethods->xLock(realOf(f), lock);
}
int xUnlock(sqlite3_file *f, int lock)
{
    return realOf(f)->pMethods->xUnlock(realOf(f), lock);
}
int xCheckReservedLock(sqlite3_file *f, int *out)
{
    return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out);
}
int xSectorSize(sqlite3_file *f)
{
    return realOf(f)->pMethods->xSectorSize(realOf(f));
}
int xDeviceCharacteristics(sqlite3_file *f)
{
    return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
}

int xFileControl(sqlite3_file *f, int op, void *arg)
{
    // Size hints grow a file without a write.
    if (op == SQLITE_FCNTL_SIZE_HINT && state.fault == FailingDisk::Fault::Full)
        return SQLITE_NOTFOUND;
    return realOf(f)->pMethods->xFileControl(realOf(f), op, arg);
}

int xShmMap(sqlite3_file *f, int page, int pageSize, int extend, void volatile **out)
{
    sqlite3_file *real = realOf(f);
    if (extend && state.fault == FailingDisk::Fault::Full) {
        // Mapping what is there costs nothing; growing the shared-memory file takes room.
        const int rc = real->pMethods->xShmMap(real, page, pageSize, 0, out);
        if (rc != SQLITE_OK || *out)
            return rc;
        if (!takeRoom(pageSize)) {
            errno = ENOSPC;
            return SQLITE_IOERR_SHMSIZE;
        }
    }
    return real->pMethods->xShmMap(real, page, pageSize, extend, out);
}

int xShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file *f)
{
    realOf(f)->pMethods->xShmBarrier(realOf(f));
}
int xShmUnmap(sqlite3_file *f, int deleteFlag)
{
    return realOf(f)->pMethods->xShmUnmap(realOf(f), deleteFlag);
}

int xFetch(sqlite3_file *f, sqlite3_int64 offset, int amount, void **out)
{
    // Reads through memory mapping would pass by the read fault.
    *out = nullptr;
    if (state.fault == FailingDisk::Fault::ReadError && shimOf(f)->targeted)
        return SQLITE_OK;
    return realOf(f)->pMethods->xFetch(realOf(f), offset, amount, out);
}

int xUnfetch(sqlite3_file *f, sqlite3_int64 offset, void *page)
{
    return realOf(f)->pMethods->xUnfetch(realOf(f), offset, page);
}

const sqlite3_io_methods methods = {
    3,
    xClose,
    xRead,
    xWrite,
    xTruncate,
    xSync,
    xFileSize,
    xLock,
    xUnlock,
    xCheckReservedLock,
    xFileControl,
    xSectorSize,
    xDeviceCharacteristics,
    xShmMap,
    xShmLock,
    xShmBarrier,
    xShmUnmap,
    xFetch,
    xUnfetch,
};

int xOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *ours = shimOf(file);
    ours->base.pMethods = nullptr;
    ours->targeted = targets(name);
    if (state.fault == FailingDisk::Fault::NoAccess && ours->targeted) {
        errno = EACCES;
        return SQLITE_CANTOPEN;
    }
    const int rc = state.real->xOpen(state.real, name, ours->real(), flags, outFlags);
    if (rc == SQLITE_OK)
        ours->base.pMethods = &methods;
    return rc;
}

int xDelete(sqlite3_vfs *, const char *name, int syncDir)
{
    return state.real->xDelete(state.real, name, syncDir);
}
int xAccess(sqlite3_vfs *, const char *name, int flags, int *out)
{
    return state.real->xAccess(state.real, name, flags, out);
}
int xFullPathname(sqlite3_vfs *, const char *name, int size, char *out)
{
    return state.real->xFullPathname(state.real, name, size, out);
}
void *xDlOpen(sqlite3_vfs *, const char *name)
{
    return state.real->xDlOpen(state.real, name);
}
void xDlError(sqlite3_vfs *, int size, char *out)
{
    state.real->xDlError(state.real, size, out);
}
void (*xDlSym(sqlite3_vfs *, void *handle, const char *symbol))(void)
{
    return state.real->xDlSym(state.real, handle, symbol);
}
void xDlClose(sqlite3_vfs *, void *handle)
{
    state.real->xDlClose(state.real, handle);
}
int xRandomness(sqlite3_vfs *, int size, char *out)
{
    return state.real->xRandomness(state.real, size, out);
}
int xSleep(sqlite3_vfs *, int microseconds)
{
    return state.real->xSleep(state.real, microseconds);
}
int xCurrentTime(sqlite3_vfs *, double *out)
{
    return state.real->xCurrentTime(state.real, out);
}
int xGetLastError(sqlite3_vfs *, int size, char *out)
{
    return state.real->xGetLastError(state.real, size, out);
}
int xCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out)
{
    return state.real->xCurrentTimeInt64(state.real, out);
}

}  // namespace

FailingDisk::FailingDisk(Fault fault, const QString &file, qint64 bytes)
{
    sqlite3_initialize();
    state.real = sqlite3_vfs_find(nullptr);
    state.fault = fault;
    state.file = file.isEmpty() ? QByteArray() : QFileInfo(file).absoluteFilePath().toUtf8();
    state.room = bytes;
    shim = sqlite3_vfs{};
    shim.iVersion = 2;
    shim.szOsFile = int(sizeof(ShimFile)) + state.real->szOsFile;
    shim.mxPathname = state.real->mxPathname;
    shim.zName = "kelvara-failing-disk";
    shim.xOpen = xOpen;
    shim.xDelete = xDelete;
    shim.xAccess = xAccess;
    shim.xFullPathname = xFullPathname;
    shim.xDlOpen = xDlOpen;
    shim.xDlError = xDlError;
    shim.xDlSym = xDlSym;
    shim.xDlClose = xDlClose;
    shim.xRandomness = xRandomness;
    shim.xSleep = xSleep;
    shim.xCurrentTime = xCurrentTime;
    shim.xGetLastError = xGetLastError;
    shim.xCurrentTimeInt64 = xCurrentTimeInt64;
    sqlite3_vfs_register(&shim, 1);
}

FailingDisk::~FailingDisk()
{
    sqlite3_vfs_unregister(&shim);
    sqlite3_vfs_register(state.real, 1);
}

}  // namespace kelvara::test
