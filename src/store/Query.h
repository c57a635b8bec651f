#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

class Database;

// A statement built from lines, with named parameters (":N1", ...) bound as
// text, then executed or opened. An opened result is read whole and stays
// available, every field as text, until the query is closed. Failures raise
// DatabaseError.
class Query {
public:
    explicit Query(Database& db) : db_(db) {}

    // Drops the result, the lines and the bound values.
    void clear();
    void addLine(const QString& line);
    // `name` with or without its ":".
    void bind(const QString& name, const QString& text);

    void exec();
    void open();

    // Rows changed by the last exec.
    int rowsAffected() const { return rowsAffected_; }

    // The result of the last Open.
    int rowCount() const { return static_cast<int>(rows_.size()); }
    const std::vector<QStringList>& rows() const { return rows_; }
    void first() { current_ = 0; }
    void next() { ++current_; }
    bool atEnd() const { return current_ >= rows_.size(); }
    // Field of the current row by position (0 first); empty for NULL.
    QString field(int position) const;

private:
    void run(bool keepRows);

    Database& db_;
    QStringList lines_;
    QList<std::pair<QString, QString>> params_;
    std::vector<QStringList> rows_;
    std::size_t current_ = 0;
    int rowsAffected_ = 0;
};
