#pragma once

#include "net/CWebClient.h"
#include "queries/SQueryResult.h"

// Why a query failed, for a transfer that failed in the client.
EFailReason ReasonOf(CWebClient::EFailure failure);
