// The report written into a pop-up request: the target list with its entries and details, and
// the process chain.
#pragma once

#include "report/event_details.h"
#include "report/process_chain.h"
#include "report/report_context.h"
#include "report/target_items.h"
#include "report/target_list.h"
