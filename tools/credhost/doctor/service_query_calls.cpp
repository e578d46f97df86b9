#include "service_query_calls.h"

const ServiceQueryCalls kRealServiceQueryCalls = {
    OpenSCManagerW, OpenServiceW, QueryServiceConfigW, QueryServiceConfig2W, QueryServiceStatus, CloseServiceHandle,
};

ServiceQueryCalls g_serviceQueryCalls = kRealServiceQueryCalls;
