// The client library of the central server, loaded on its first call.
//
// libpq brings a long chain of libraries with it (TLS, Kerberos, LDAP, SASL and theirs): linked
// as usual, every desk would map and relocate all of them at every start-up, and keep them
// resident, although only a desk of a group with the central ledger switched on ever talks to
// the server. So the program does not link libpq; it defines the few functions it calls, and
// the first call of any of them loads the library and passes every call on to it.
//
// Without the library (a broken installation) nothing is connected: the connection functions
// give what libpq gives for a missing connection, with the loader's reason as the error
// message, and the functions on results and connections see only null pointers.
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>

#include "platform/OnDemandLibrary.h"

namespace {

const OnDemandLibrary& library() {
    static const OnDemandLibrary libpq("libpq.so.5");
    return libpq;
}

bool loaded() { return library().loaded(); }

// What PQerrorMessage says when there is no library; libpq's messages end in a line break.
const char* loadError() {
    static const std::string message = library().error() + "\n";
    return message.c_str();
}

}  // namespace

#define LIBPQ(name) ON_DEMAND(library(), name)

extern "C" {

PGconn* PQconnectdbParams(const char* const* keywords, const char* const* values,
                          int expand_dbname) {
    return loaded() ? LIBPQ(PQconnectdbParams)(keywords, values, expand_dbname) : nullptr;
}

void PQfinish(PGconn* conn) {
    if (conn) LIBPQ(PQfinish)(conn);
}

ConnStatusType PQstatus(const PGconn* conn) {
    return loaded() ? LIBPQ(PQstatus)(conn) : CONNECTION_BAD;
}

char* PQerrorMessage(const PGconn* conn) {
    if (!loaded()) return const_cast<char*>(loadError());
    return LIBPQ(PQerrorMessage)(conn);
}

PQconninfoOption* PQconninfoParse(const char* conninfo, char** errmsg) {
    if (loaded()) return LIBPQ(PQconninfoParse)(conninfo, errmsg);
    if (errmsg) *errmsg = strdup(loadError());
    return nullptr;
}

PQconninfoOption* PQconndefaults(void) { return loaded() ? LIBPQ(PQconndefaults)() : nullptr; }

void PQconninfoFree(PQconninfoOption* options) {
    if (options) LIBPQ(PQconninfoFree)(options);
}

void PQfreemem(void* ptr) {
    // Without the library the only memory handed out is the strdup of PQconninfoParse.
    if (loaded())
        LIBPQ(PQfreemem)(ptr);
    else
        std::free(ptr);
}

char* PQescapeIdentifier(PGconn* conn, const char* str, size_t len) {
    return conn ? LIBPQ(PQescapeIdentifier)(conn, str, len) : nullptr;
}

PGresult* PQexec(PGconn* conn, const char* query) {
    return conn ? LIBPQ(PQexec)(conn, query) : nullptr;
}

PGresult* PQexecParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                       const char* const* paramValues, const int* paramLengths,
                       const int* paramFormats, int resultFormat) {
    return conn ? LIBPQ(PQexecParams)(conn, command, nParams, paramTypes, paramValues, paramLengths,
                                      paramFormats, resultFormat)
                : nullptr;
}

void PQclear(PGresult* res) {
    if (res) LIBPQ(PQclear)(res);
}

ExecStatusType PQresultStatus(const PGresult* res) {
    return res ? LIBPQ(PQresultStatus)(res) : PGRES_FATAL_ERROR;
}

char* PQresultErrorMessage(const PGresult* res) {
    return res ? LIBPQ(PQresultErrorMessage)(res) : const_cast<char*>("");
}

char* PQresultErrorField(const PGresult* res, int fieldcode) {
    return res ? LIBPQ(PQresultErrorField)(res, fieldcode) : nullptr;
}

int PQntuples(const PGresult* res) { return res ? LIBPQ(PQntuples)(res) : 0; }

char* PQgetvalue(const PGresult* res, int tup_num, int field_num) {
    return res ? LIBPQ(PQgetvalue)(res, tup_num, field_num) : nullptr;
}

int PQgetlength(const PGresult* res, int tup_num, int field_num) {
    return res ? LIBPQ(PQgetlength)(res, tup_num, field_num) : 0;
}

int PQgetisnull(const PGresult* res, int tup_num, int field_num) {
    return res ? LIBPQ(PQgetisnull)(res, tup_num, field_num) : 1;
}

}  // extern "C"
