// The error report an EX_ function returns on failure: the caller's
// EXCEPINFO filled with the code and message, and DISP_E_EXCEPTION.
#pragma once

#include "platform/automation/variant.h"

// Codes shared by many functions; each function numbers its own failures
// from NB_ERROR_FUNCTION_FIRST.
constexpr WORD NB_ERROR_PARAMETERS_COUNT = 2100;  // argument count outside the range
constexpr WORD NB_ERROR_TYPE_MISMATCH = 2101;     // an argument of the wrong kind
constexpr WORD NB_ERROR_WORKER_START = 2102;      // worker thread failed to start
constexpr WORD NB_ERROR_RESULT_LIST = 2103;       // result list failed to build
constexpr WORD NB_ERROR_ARGUMENT_VALUE = 2104;    // a value outside its allowed set
constexpr WORD NB_ERROR_FILE_REQUEST = 2105;      // file, folder, expansion or dialog
constexpr WORD NB_ERROR_FUNCTION_FIRST = 3100;

// Messages shared by many functions. Every message starts "Catastrophic: ".
constexpr LPCWSTR NB_MESSAGE_PARAMETERS_COUNT = u"Catastrophic: Bad parameters count";
constexpr LPCWSTR NB_MESSAGE_TYPE_MISMATCH = u"Catastrophic: Type mismatch";
constexpr LPCWSTR NB_MESSAGE_CREATE_THREAD = u"Catastrophic: CreateThread() failed";
constexpr LPCWSTR NB_MESSAGE_THREAD_CONTEXT = u"Catastrophic: Cannot get thread context";
constexpr LPCWSTR NB_MESSAGE_ARRAY_CREATE = u"Catastrophic: NB_ARRAY_CREATE() failed";
constexpr LPCWSTR NB_MESSAGE_ARRAY_ADDELEMENT = u"Catastrophic: NB_ARRAY_ADDELEMENT() failed";

// Fills exception (when not null) with wCode code, wReserved 0, bstrSource
// source, bstrDescription message, scode -code and every other field null or
// 0; the record's previous contents are overwritten, not freed. Returns
// DISP_E_EXCEPTION, also when exception is null.
HRESULT NbFillExceptionInfo(EXCEPINFO* exception, LPCWSTR source, WORD code, LPCWSTR message);

// NbFillExceptionInfo with the source "External::" + function_name (the
// script name, without the EX_ prefix).
HRESULT NbReportError(EXCEPINFO* exception, LPCWSTR function_name, WORD code, LPCWSTR message);
