#include "hid/receiver_reports.h"

#include "base/scoped.h"
#include "hid/feature_reports.h"

BOOL CReceiverReports::LaunchHandshake(uint8_t* state)
{
    MutexLock lock(m_mutex);
    return SendLaunchHandshake(state);
}

BOOL CReceiverReports::TvReady()
{
    MutexLock lock(m_mutex);
    return SendTvReady();
}
