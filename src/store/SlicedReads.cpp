#include "store/SlicedReads.h"

#include "store/WorkProgress.h"

#include <sqlite3.h>

namespace {

// The one running piece of work; everything runs on one thread.
SlicedReads *g_current = nullptr;

sqlite3_vfs *g_system = nullptr;

// A file of the default layer, with its reads counted.
struct CountedFile
{
    sqlite3_file base;
    sqlite3_file *real; // the default layer's file, stored right after this one
};

sqlite3_file *realOf(sqlite3_file *file)
{
    return reinterpret_cast<CountedFile *>(file)->real;
}

int fileClose(sqlite3_file *f)
{
    return realOf(f)->pMethods->xClose(realOf(f));
}
int fileRead(sqlite3_file *f, void *data, int amount, sqlite3_int64 offset)
{
    const int rc = realOf(f)->pMethods->xRead(realOf(f), data, amount, offset);
    SlicedReads::afterRead(amount);
    return rc;
}
int fileWrite(sqlite3_file *f, const void *data, int amount, sqlite3_int64 offset)
{
    return realOf(f)->pMethods->xWrite(realOf(f), data, amount, offset);
}
int fileTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    return realOf(f)->pMethods->xTruncate(realOf(f), size);
}
int fileSync(sqlite3_file *f, int flags)
{
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int fileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    return realOf(f)->pMethods->xFileSize(realOf(f), size);
}
int fileLock(sqlite3_file *f, int level)
{
    return realOf(f)->pMethods->xLock(realOf(f), level);
}
int fileUnlock(sqlite3_file *f, int level)
{
    return realOf(f)->pMethods->xUnlock(realOf(f), level);
}
int fileCheckReservedLock(sqlite3_file *f, int *out)
{
    return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out);
}
int fileControl(sqlite3_file *f, int op, void *arg)
{
    return realOf(f)->pMethods->xFileControl(realOf(f), op, arg);
}
int fileSectorSize(sqlite3_file *f)
{
    return realOf(f)->pMethods->xSectorSize(realOf(f));
}
int fileDeviceCharacteristics(sqlite3_file *f)
{
    return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
}
int fileShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out)
{
    return realOf(f)->pMethods->xShmMap(realOf(f), region, size, extend, out);
}
int fileShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags);
}
void fileShmBarrier(sqlite3_file *f)
{
    realOf(f)->pMethods->xShmBarrier(realOf(f));
}
int fileShmUnmap(sqlite3_file *f, int deleteFlag)
{
    return realOf(f)->pMethods->xShmUnmap(realOf(f), deleteFlag);
}
int fileFetch(sqlite3_file *f, sqlite3_int64 offset, int amount, void **out)
{
    return realOf(f)->pMethods->xFetch(realOf(f), offset, amount, out);
}
int fileUnfetch(sqlite3_file *f, sqlite3_int64 offset, void *page)
{
    return realOf(f)->pMethods->xUnfetch(realOf(f), offset, page);
}

// Shared memory and memory mapping are passed on only where the default layer's files have them.
sqlite3_io_methods countedMethods(int version)
{
    sqlite3_io_methods m{};
    m.iVersion = version;
    m.xClose = fileClose;
    m.xRead = fileRead;
    m.xWrite = fileWrite;
    m.xTruncate = fileTruncate;
    m.xSync = fileSync;
    m.xFileSize = fileSize;
    m.xLock = fileLock;
    m.xUnlock = fileUnlock;
    m.xCheckReservedLock = fileCheckReservedLock;
    m.xFileControl = fileControl;
    m.xSectorSize = fileSectorSize;
    m.xDeviceCharacteristics = fileDeviceCharacteristics;
    if (version >= 2) {
        m.xShmMap = fileShmMap;
        m.xShmLock = fileShmLock;
        m.xShmBarrier = fileShmBarrier;
        m.xShmUnmap = fileShmUnmap;
    }
    if (version >= 3) {
        m.xFetch = fileFetch;
        m.xUnfetch = fileUnfetch;
    }
    return m;
}

const sqlite3_io_methods *methodsFor(int version)
{
    static const sqlite3_io_methods v1 = countedMethods(1);
    static const sqlite3_io_methods v2 = countedMethods(2);
    static const sqlite3_io_methods v3 = countedMethods(3);
    return version >= 3 ? &v3 : version == 2 ? &v2 : &v1;
}

int layerOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *counted = reinterpret_cast<CountedFile *>(file);
    counted->real = reinterpret_cast<sqlite3_file *>(counted + 1);
    const int rc = g_system->xOpen(g_system, name, counted->real, flags, outFlags);
    // A file the default layer leaves with methods is closed through them, even after a failure.
    counted->base.pMethods =
        counted->real->pMethods ? methodsFor(counted->real->pMethods->iVersion) : nullptr;
    return rc;
}
int layerDelete(sqlite3_vfs *, const char *name, int syncDir)
{
    return g_system->xDelete(g_system, name, syncDir);
}
int layerAccess(sqlite3_vfs *, const char *name, int flags, int *out)
{
    return g_system->xAccess(g_system, name, flags, out);
}
int layerFullPathname(sqlite3_vfs *, const char *name, int size, char *out)
{
    return g_system->xFullPathname(g_system, name, size, out);
}
void *layerDlOpen(sqlite3_vfs *, const char *name)
{
    return g_system->xDlOpen(g_system, name);
}
void layerDlError(sqlite3_vfs *, int size, char *out)
{
    g_system->xDlError(g_system, size, out);
}
void (*layerDlSym(sqlite3_vfs *, void *handle, const char *symbol))(void)
{
    return g_system->xDlSym(g_system, handle, symbol);
}
void layerDlClose(sqlite3_vfs *, void *handle)
{
    g_system->xDlClose(g_system, handle);
}
int layerRandomness(sqlite3_vfs *, int size, char *out)
{
    return g_system->xRandomness(g_system, size, out);
}
int layerSleep(sqlite3_vfs *, int microseconds)
{
    return g_system->xSleep(g_system, microseconds);
}
int layerCurrentTime(sqlite3_vfs *, double *out)
{
    return g_system->xCurrentTime(g_system, out);
}
int layerGetLastError(sqlite3_vfs *, int size, char *out)
{
    return g_system->xGetLastError ? g_system->xGetLastError(g_system, size, out) : 0;
}
int layerCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out)
{
    if (g_system->iVersion >= 2 && g_system->xCurrentTimeInt64)
        return g_system->xCurrentTimeInt64(g_system, out);
    double days = 0;
    const int rc = g_system->xCurrentTime(g_system, &days);
    *out = sqlite3_int64(days * 86400000.0);
    return rc;
}

const char kName[] = "meterlink-sliced";

bool registerLayer()
{
    if (sqlite3_initialize() != SQLITE_OK)
        return false;
    g_system = sqlite3_vfs_find(nullptr);
    if (!g_system)
        return false;
    static sqlite3_vfs layer{};
    layer.iVersion = 2;
    layer.szOsFile = int(sizeof(CountedFile)) + g_system->szOsFile;
    layer.mxPathname = g_system->mxPathname;
    layer.zName = kName;
    layer.xOpen = layerOpen;
    layer.xDelete = layerDelete;
    layer.xAccess = layerAccess;
    layer.xFullPathname = layerFullPathname;
    layer.xDlOpen = layerDlOpen;
    layer.xDlError = layerDlError;
    layer.xDlSym = layerDlSym;
    layer.xDlClose = layerDlClose;
    layer.xRandomness = layerRandomness;
    layer.xSleep = layerSleep;
    layer.xCurrentTime = layerCurrentTime;
    layer.xGetLastError = layerGetLastError;
    layer.xCurrentTimeInt64 = layerCurrentTimeInt64;
    return sqlite3_vfs_register(&layer, 0) == SQLITE_OK;
}

} // namespace

const char *SlicedReads::fileLayerName()
{
    // Without the layer the files are opened by the default one: all still works, in one step.
    static const bool registered = registerLayer();
    return registered ? kName : nullptr;
}

SlicedReads::SlicedReads(sqlite3 *db, ProgressMeter &meter, int64_t expectedBytes)
    : m_db(db), m_meter(meter), m_expected(expectedBytes > 0 ? expectedBytes : 1), m_outer(g_current)
{
    g_current = this;
}

SlicedReads::~SlicedReads()
{
    g_current = m_outer;
}

void SlicedReads::afterRead(int bytes)
{
    SlicedReads *current = g_current;
    if (!current)
        return;
    current->m_read += bytes;
    if (!current->m_meter.report(std::min(current->m_read, current->m_expected), current->m_expected))
        sqlite3_interrupt(current->m_db);
}
