// The report and the pop-up request: the request bundle with its header keys, the target list
// with its entries and details, and the process chain.
#pragma once

#include "report/event_details.h"
#include "report/process_chain.h"
#include "report/report_sources.h"
#include "report/request_bundle.h"
#include "report/target_items.h"
#include "report/target_list.h"
