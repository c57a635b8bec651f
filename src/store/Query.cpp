#include "store/Query.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>

#include "store/Database.h"

namespace {

QString withColon(const QString& name) {
    return name.startsWith(u':') ? name : QStringLiteral(":") + name;
}

QString errorOf(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

}  // namespace

void Query::clear() {
    lines_.clear();
    params_.clear();
    rows_.clear();
    current_ = 0;
    rowsAffected_ = 0;
}

void Query::addLine(const QString& line) { lines_.append(line); }

void Query::bind(const QString& name, const QString& text) {
    const QString key = withColon(name);
    for (auto& param : params_) {
        if (param.first.compare(key, Qt::CaseInsensitive) == 0) {
            param.second = text;
            return;
        }
    }
    params_.append({key, text});
}

void Query::exec() { run(false); }

void Query::open() { run(true); }

QString Query::field(int position) const {
    if (atEnd() || position < 0 || position >= rows_[current_].size()) return {};
    return rows_[current_].at(position);
}

void Query::run(bool keepRows) {
    rows_.clear();
    current_ = 0;
    rowsAffected_ = 0;
    sqlite3* db = db_.connection();

    const QByteArray sql = lines_.join(u'\n').toUtf8();
    StatementCache::Use statement;
    QByteArray tail;
    if (db_.statements().prepare(db, sql, statement, &tail) != SQLITE_OK)
        throw DatabaseError(errorOf(db));
    if (!statement.get()) throw DatabaseError(QStringLiteral("실행할 문장이 없습니다"));
    // One statement per query: anything after it would silently not run.
    if (!tail.trimmed().isEmpty())
        throw DatabaseError(QStringLiteral("문장이 하나를 넘습니다: ") + QString::fromUtf8(tail));
    sqlite3_stmt* raw = statement.get();

    // Parameter names are matched without regard to case, like table and column names.
    const int count = sqlite3_bind_parameter_count(raw);
    QStringList names;
    for (int i = 1; i <= count; ++i) {
        const char* name = sqlite3_bind_parameter_name(raw, i);
        names.append(name ? QString::fromUtf8(name) : QString::number(i));
    }
    for (const auto& param : params_) {
        if (!names.contains(param.first, Qt::CaseInsensitive))
            throw DatabaseError(QStringLiteral("없는 매개변수입니다: ") + param.first);
    }
    for (int i = 1; i <= count; ++i) {
        const QString& name = names.at(i - 1);
        const auto found = std::find_if(params_.cbegin(), params_.cend(), [&](const auto& p) {
            return p.first.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (found == params_.cend())
            throw DatabaseError(QStringLiteral("매개변수 값이 없습니다: ") + name);
        const QByteArray value = found->second.toUtf8();
        if (sqlite3_bind_text(raw, i, value.constData(), static_cast<int>(value.size()),
                              SQLITE_TRANSIENT) != SQLITE_OK)
            throw DatabaseError(errorOf(db));
    }

    std::vector<QStringList> rows;
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) throw DatabaseError(errorOf(db));
        if (!keepRows) continue;
        const int columns = sqlite3_column_count(raw);
        QStringList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
            row.append(text ? QString::fromUtf8(text, sqlite3_column_bytes(raw, c)) : QString());
        }
        rows.push_back(std::move(row));
    }
    rowsAffected_ = sqlite3_stmt_readonly(raw) ? 0 : sqlite3_changes(db);
    rows_ = std::move(rows);
}
