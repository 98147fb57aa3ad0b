#pragma once

#include "portsource.h"

// Placeholder: the lsof reader lands with the port-query work.
class LsofSource final : public PortSource
{
public:
    QueryResult query() override { return QueryResult::failure(QueryError::StartFailed, {}); }
};
