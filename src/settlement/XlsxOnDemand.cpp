// The spreadsheet writer, loaded on the first export.
//
// libxlsxwriter brings its zip and crypto libraries with it; a desk that never exports would
// still map and relocate them at every start-up and keep them resident. So the program does
// not link it: it defines the functions it calls, and the first call loads the library and
// passes every call on to it. Without the library no workbook is made, and every export
// reports that the file cannot be written.
#include <xlsxwriter.h>

#include <cstdio>

#include "platform/OnDemandLibrary.h"

namespace {

const OnDemandLibrary& library() {
    static const OnDemandLibrary xlsxwriter("libxlsxwriter.so.4");
    return xlsxwriter;
}

// The exports can only say that the file could not be written; why goes to the error output.
bool loaded() {
    if (library().loaded()) return true;
    std::fprintf(stderr, "tavolen: %s\n", library().error().c_str());
    return false;
}

}  // namespace

#define XLSX(name) ON_DEMAND(library(), name)

extern "C" {

lxw_workbook* workbook_new(const char* filename) {
    return loaded() ? XLSX(workbook_new)(filename) : nullptr;
}

lxw_workbook* workbook_new_opt(const char* filename, lxw_workbook_options* options) {
    return loaded() ? XLSX(workbook_new_opt)(filename, options) : nullptr;
}

// Everything below takes what only the library makes, so it is loaded whenever they are called.

lxw_worksheet* workbook_add_worksheet(lxw_workbook* workbook, const char* sheetname) {
    return XLSX(workbook_add_worksheet)(workbook, sheetname);
}

lxw_format* workbook_add_format(lxw_workbook* workbook) {
    return XLSX(workbook_add_format)(workbook);
}

lxw_chart* workbook_add_chart(lxw_workbook* workbook, uint8_t chart_type) {
    return XLSX(workbook_add_chart)(workbook, chart_type);
}

lxw_error workbook_close(lxw_workbook* workbook) { return XLSX(workbook_close)(workbook); }

lxw_error worksheet_write_string(lxw_worksheet* worksheet, lxw_row_t row, lxw_col_t col,
                                 const char* string, lxw_format* format) {
    return XLSX(worksheet_write_string)(worksheet, row, col, string, format);
}

lxw_error worksheet_write_number(lxw_worksheet* worksheet, lxw_row_t row, lxw_col_t col,
                                 double number, lxw_format* format) {
    return XLSX(worksheet_write_number)(worksheet, row, col, number, format);
}

lxw_error worksheet_set_column(lxw_worksheet* worksheet, lxw_col_t first_col, lxw_col_t last_col,
                               double width, lxw_format* format) {
    return XLSX(worksheet_set_column)(worksheet, first_col, last_col, width, format);
}

lxw_error worksheet_insert_chart_opt(lxw_worksheet* worksheet, lxw_row_t row, lxw_col_t col,
                                     lxw_chart* chart, lxw_chart_options* user_options) {
    return XLSX(worksheet_insert_chart_opt)(worksheet, row, col, chart, user_options);
}

void format_set_bold(lxw_format* format) { XLSX(format_set_bold)(format); }

void format_set_num_format(lxw_format* format, const char* num_format) {
    XLSX(format_set_num_format)(format, num_format);
}

lxw_chart_series* chart_add_series(lxw_chart* chart, const char* categories, const char* values) {
    return XLSX(chart_add_series)(chart, categories, values);
}

void chart_series_set_categories(lxw_chart_series* series, const char* sheetname,
                                 lxw_row_t first_row, lxw_col_t first_col, lxw_row_t last_row,
                                 lxw_col_t last_col) {
    XLSX(chart_series_set_categories)(series, sheetname, first_row, first_col, last_row, last_col);
}

void chart_series_set_name_range(lxw_chart_series* series, const char* sheetname, lxw_row_t row,
                                 lxw_col_t col) {
    XLSX(chart_series_set_name_range)(series, sheetname, row, col);
}

void chart_series_set_values(lxw_chart_series* series, const char* sheetname, lxw_row_t first_row,
                             lxw_col_t first_col, lxw_row_t last_row, lxw_col_t last_col) {
    XLSX(chart_series_set_values)(series, sheetname, first_row, first_col, last_row, last_col);
}

void chart_title_set_name(lxw_chart* chart, const char* name) {
    XLSX(chart_title_set_name)(chart, name);
}

char* lxw_strerror(lxw_error error_num) { return XLSX(lxw_strerror)(error_num); }

}  // extern "C"
