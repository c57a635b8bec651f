#include "central/CentralSchema.h"

#include <algorithm>
#include <vector>

#include "central/PgConnection.h"

namespace {

// Each migration runs once, in order; a released version is never edited, only followed.
const std::vector<const char*> kMigrations = {
    // 1: sites, changes, the tables they produce, row-level security.
    R"SQL(
CREATE TABLE tavolen.site (
    site text PRIMARY KEY,
    name text NOT NULL DEFAULT '',
    last_seq bigint NOT NULL DEFAULT 0,
    last_received_at timestamptz
);
CREATE TABLE tavolen.site_role (
    site text NOT NULL REFERENCES tavolen.site,
    role name NOT NULL,
    PRIMARY KEY (site, role)
);
CREATE TABLE tavolen.change (
    site text NOT NULL REFERENCES tavolen.site,
    seq bigint NOT NULL,
    uid text NOT NULL,
    kind text NOT NULL,
    payload jsonb NOT NULL,
    made_at timestamptz,
    received_at timestamptz NOT NULL DEFAULT clock_timestamp(),
    PRIMARY KEY (site, seq)
);
CREATE TABLE tavolen.history (
    site text NOT NULL, row_id bigint NOT NULL,
    roomnum text, sdate text, stime text, action text, comm text,
    PRIMARY KEY (site, row_id)
);
CREATE TABLE tavolen.history_kept (
    site text NOT NULL, purge_seq bigint NOT NULL, row_id bigint NOT NULL,
    roomnum text, sdate text, stime text, action text, comm text,
    PRIMARY KEY (site, purge_seq, row_id)
);
CREATE TABLE tavolen.ledger (
    site text NOT NULL, row_id bigint NOT NULL,
    roomnum text, idatetime text, odatetime text, action text, cash text,
    PRIMARY KEY (site, row_id)
);
CREATE TABLE tavolen.ledger_kept (
    site text NOT NULL, purge_seq bigint NOT NULL, row_id bigint NOT NULL,
    roomnum text, idatetime text, odatetime text, action text, cash text,
    PRIMARY KEY (site, purge_seq, row_id)
);
CREATE INDEX ledger_start ON tavolen.ledger (idatetime);
CREATE INDEX ledger_kept_start ON tavolen.ledger_kept (idatetime);

-- Applies one change to the tables it produces. Changes of a site arrive in order without a
-- gap; anything else is refused, and the sender stops.
CREATE FUNCTION tavolen.apply_change() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = tavolen, pg_temp AS $$
DECLARE
    r bigint := (NEW.payload->>'row')::bigint;
    v jsonb := NEW.payload;
BEGIN
    UPDATE site SET last_seq = NEW.seq, last_received_at = NEW.received_at
        WHERE site.site = NEW.site AND last_seq = NEW.seq - 1;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING ERRCODE = 'TV001',
            MESSAGE = format('change %s of site %s does not follow the last one received',
                             NEW.seq, NEW.site);
    END IF;
    CASE NEW.kind
    WHEN 'history_insert', 'history_update' THEN
        INSERT INTO history VALUES (NEW.site, r, v->>'roomNum', v->>'Sdate', v->>'Stime',
                                    v->>'Action', v->>'Comm')
        ON CONFLICT (site, row_id) DO UPDATE SET roomnum = EXCLUDED.roomnum,
            sdate = EXCLUDED.sdate, stime = EXCLUDED.stime, action = EXCLUDED.action,
            comm = EXCLUDED.comm;
    WHEN 'history_delete' THEN
        DELETE FROM history WHERE site = NEW.site AND row_id = r;
    WHEN 'history_purge' THEN
        WITH gone AS (DELETE FROM history WHERE site = NEW.site AND row_id = r RETURNING *)
        INSERT INTO history_kept SELECT site, NEW.seq, row_id, roomnum, sdate, stime, action,
                                        comm FROM gone;
    WHEN 'ledger_insert', 'ledger_update' THEN
        INSERT INTO ledger VALUES (NEW.site, r, v->>'roomNum', v->>'IDateTime',
                                   v->>'ODateTime', v->>'Action', v->>'Cash')
        ON CONFLICT (site, row_id) DO UPDATE SET roomnum = EXCLUDED.roomnum,
            idatetime = EXCLUDED.idatetime, odatetime = EXCLUDED.odatetime,
            action = EXCLUDED.action, cash = EXCLUDED.cash;
    WHEN 'ledger_delete' THEN
        DELETE FROM ledger WHERE site = NEW.site AND row_id = r;
    WHEN 'ledger_purge' THEN
        WITH gone AS (DELETE FROM ledger WHERE site = NEW.site AND row_id = r RETURNING *)
        INSERT INTO ledger_kept SELECT site, NEW.seq, row_id, roomnum, idatetime, odatetime,
                                       action, cash FROM gone;
    ELSE
        RAISE EXCEPTION USING ERRCODE = 'TV002',
            MESSAGE = format('change %s of site %s has an unknown kind %s', NEW.seq, NEW.site,
                             NEW.kind);
    END CASE;
    RETURN NULL;
END $$;
CREATE TRIGGER apply AFTER INSERT ON tavolen.change
    FOR EACH ROW EXECUTE FUNCTION tavolen.apply_change();

-- Whether `who` may see `site`: the group sees every site, a site's role its own.
CREATE FUNCTION tavolen.may_see(site text, who name) RETURNS boolean
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = tavolen, pg_temp AS $$
    SELECT pg_has_role(who, 'tavolen_group', 'MEMBER')
        OR EXISTS (SELECT 1 FROM site_role s JOIN pg_roles r ON r.rolname = s.role
                   WHERE s.site = may_see.site AND pg_has_role(who, r.oid, 'MEMBER'))
$$;

DO $$ BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'tavolen_group') THEN
        CREATE ROLE tavolen_group NOLOGIN;
    END IF;
END $$;
GRANT USAGE ON SCHEMA tavolen TO tavolen_group;
GRANT SELECT ON ALL TABLES IN SCHEMA tavolen TO tavolen_group;
)SQL",

    // 2: a batch of changes applied at once; each site's sums by the hour the stays began, for
    // the group's month.
    R"SQL(
-- What the desk's settlement counts of a ledger row: its amount when the start is a stamp
-- and the amount a number no larger than one stay can be; NULL when the desk would refuse
-- the row.
CREATE FUNCTION tavolen.counted_amount(start text, cash text) RETURNS bigint
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN start ~ '^[0-9]{12}$' AND cash ~ '^\s*[+-]?0*[0-9]{1,9}\s*$' THEN
        CASE WHEN abs(cash::bigint) <= 100000000 THEN cash::bigint END END
$$;

-- The day-use and overnight amounts of the rows a site holds and keeps, by the hour
-- ("yyyymmddhh") their stays began; a settlement day is 24 of these from its hour.
CREATE TABLE tavolen.ledger_hour (
    hour text NOT NULL,
    site text NOT NULL,
    action text NOT NULL,
    amount bigint NOT NULL,
    PRIMARY KEY (hour, site, action)
);
ALTER TABLE tavolen.ledger_hour ENABLE ROW LEVEL SECURITY;
CREATE POLICY by_site ON tavolen.ledger_hour USING (tavolen.may_see(site, current_user))
    WITH CHECK (tavolen.may_see(site, current_user));
INSERT INTO tavolen.ledger_hour
SELECT left(idatetime, 10), site, action, sum(amount) FROM (
    SELECT site, idatetime, action, tavolen.counted_amount(idatetime, cash) AS amount
    FROM tavolen.ledger
    UNION ALL
    SELECT site, idatetime, action, tavolen.counted_amount(idatetime, cash)
    FROM tavolen.ledger_kept) t
WHERE action IN ('대실', '숙박') AND amount IS NOT NULL
GROUP BY 1, 2, 3;

-- The rows the sums leave out, for the report to find the sites that have any.
CREATE INDEX ledger_uncounted ON tavolen.ledger (idatetime)
    WHERE tavolen.counted_amount(idatetime, cash) IS NULL;
CREATE INDEX ledger_kept_uncounted ON tavolen.ledger_kept (idatetime)
    WHERE tavolen.counted_amount(idatetime, cash) IS NULL;

-- Keeps ledger_hour equal to the rows of ledger and ledger_kept, a statement at a time.
CREATE FUNCTION tavolen.sum_ledger() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = tavolen, pg_temp AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        INSERT INTO ledger_hour
        SELECT left(idatetime, 10), site, action, sum(counted_amount(idatetime, cash))
        FROM added
        WHERE action IN ('대실', '숙박') AND counted_amount(idatetime, cash) IS NOT NULL
        GROUP BY 1, 2, 3
        ON CONFLICT (hour, site, action) DO UPDATE
            SET amount = ledger_hour.amount + EXCLUDED.amount;
    ELSIF TG_OP = 'DELETE' THEN
        INSERT INTO ledger_hour
        SELECT left(idatetime, 10), site, action, -sum(counted_amount(idatetime, cash))
        FROM removed
        WHERE action IN ('대실', '숙박') AND counted_amount(idatetime, cash) IS NOT NULL
        GROUP BY 1, 2, 3
        ON CONFLICT (hour, site, action) DO UPDATE
            SET amount = ledger_hour.amount + EXCLUDED.amount;
    ELSE
        INSERT INTO ledger_hour
        SELECT left(idatetime, 10), site, action, sum(amount) FROM (
            SELECT site, idatetime, action, counted_amount(idatetime, cash) AS amount
            FROM added
            UNION ALL
            SELECT site, idatetime, action, -counted_amount(idatetime, cash) FROM removed) t
        WHERE action IN ('대실', '숙박') AND amount IS NOT NULL
        GROUP BY 1, 2, 3
        ON CONFLICT (hour, site, action) DO UPDATE
            SET amount = ledger_hour.amount + EXCLUDED.amount;
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER sum_added AFTER INSERT ON tavolen.ledger REFERENCING NEW TABLE AS added
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.sum_ledger();
CREATE TRIGGER sum_changed AFTER UPDATE ON tavolen.ledger
    REFERENCING OLD TABLE AS removed NEW TABLE AS added
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.sum_ledger();
CREATE TRIGGER sum_removed AFTER DELETE ON tavolen.ledger REFERENCING OLD TABLE AS removed
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.sum_ledger();
CREATE TRIGGER sum_added AFTER INSERT ON tavolen.ledger_kept REFERENCING NEW TABLE AS added
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.sum_ledger();
CREATE TRIGGER sum_changed AFTER UPDATE ON tavolen.ledger_kept
    REFERENCING OLD TABLE AS removed NEW TABLE AS added
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.sum_ledger();
CREATE TRIGGER sum_removed AFTER DELETE ON tavolen.ledger_kept REFERENCING OLD TABLE AS removed
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.sum_ledger();

-- Applies the changes one statement inserted, as applying them one by one in order would:
-- a purge keeps the row as the change before it in the batch left it (or as the table held
-- it), and each row ends as its last change leaves it. Changes of a site arrive in order
-- without a gap; anything else is refused, and the sender stops.
CREATE FUNCTION tavolen.apply_changes() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = tavolen, pg_temp AS $$
DECLARE
    wrong record;
BEGIN
    SELECT a.site, a.seq INTO wrong
    FROM (SELECT site, seq, row_number() OVER (PARTITION BY site ORDER BY seq) AS n
          FROM arrived) a
    LEFT JOIN site s ON s.site = a.site
    WHERE s.last_seq IS NULL OR a.seq <> s.last_seq + a.n
    ORDER BY a.seq LIMIT 1;
    IF FOUND THEN
        RAISE EXCEPTION USING ERRCODE = 'TV001',
            MESSAGE = format('change %s of site %s does not follow the last one received',
                             wrong.seq, wrong.site);
    END IF;
    SELECT a.site, a.seq, a.kind INTO wrong FROM arrived a
    WHERE a.kind NOT IN ('history_insert', 'history_update', 'history_delete', 'history_purge',
                         'ledger_insert', 'ledger_update', 'ledger_delete', 'ledger_purge')
    ORDER BY a.seq LIMIT 1;
    IF FOUND THEN
        RAISE EXCEPTION USING ERRCODE = 'TV002',
            MESSAGE = format('change %s of site %s has an unknown kind %s', wrong.seq,
                             wrong.site, wrong.kind);
    END IF;
    UPDATE site s SET last_seq = a.last, last_received_at = a.received
    FROM (SELECT site, max(seq) AS last, max(received_at) AS received FROM arrived
          GROUP BY site) a
    WHERE s.site = a.site;

    WITH c AS (
        SELECT site, seq, kind, payload, (payload->>'row')::bigint AS row_id,
               lag(kind) OVER w AS before_kind, lag(payload) OVER w AS before,
               lead(seq) OVER w IS NULL AS last
        FROM arrived WHERE kind LIKE 'history\_%'
        WINDOW w AS (PARTITION BY site, (payload->>'row')::bigint ORDER BY seq)
    ), kept AS (
        INSERT INTO history_kept
        SELECT c.site, c.seq, c.row_id,
               CASE WHEN c.before_kind IS NULL THEN t.roomnum ELSE c.before->>'roomNum' END,
               CASE WHEN c.before_kind IS NULL THEN t.sdate ELSE c.before->>'Sdate' END,
               CASE WHEN c.before_kind IS NULL THEN t.stime ELSE c.before->>'Stime' END,
               CASE WHEN c.before_kind IS NULL THEN t.action ELSE c.before->>'Action' END,
               CASE WHEN c.before_kind IS NULL THEN t.comm ELSE c.before->>'Comm' END
        FROM c LEFT JOIN history t ON c.before_kind IS NULL AND t.site = c.site
                                      AND t.row_id = c.row_id
        WHERE c.kind = 'history_purge'
          AND (c.before_kind IN ('history_insert', 'history_update')
               OR c.before_kind IS NULL AND t.row_id IS NOT NULL)
    ), gone AS (
        DELETE FROM history t USING c
        WHERE c.last AND c.kind IN ('history_delete', 'history_purge') AND t.site = c.site
              AND t.row_id = c.row_id
    )
    INSERT INTO history
    SELECT site, row_id, payload->>'roomNum', payload->>'Sdate', payload->>'Stime',
           payload->>'Action', payload->>'Comm'
    FROM c WHERE last AND kind IN ('history_insert', 'history_update')
    ON CONFLICT (site, row_id) DO UPDATE SET roomnum = EXCLUDED.roomnum,
        sdate = EXCLUDED.sdate, stime = EXCLUDED.stime, action = EXCLUDED.action,
        comm = EXCLUDED.comm;

    WITH c AS (
        SELECT site, seq, kind, payload, (payload->>'row')::bigint AS row_id,
               lag(kind) OVER w AS before_kind, lag(payload) OVER w AS before,
               lead(seq) OVER w IS NULL AS last
        FROM arrived WHERE kind LIKE 'ledger\_%'
        WINDOW w AS (PARTITION BY site, (payload->>'row')::bigint ORDER BY seq)
    ), kept AS (
        INSERT INTO ledger_kept
        SELECT c.site, c.seq, c.row_id,
               CASE WHEN c.before_kind IS NULL THEN t.roomnum ELSE c.before->>'roomNum' END,
               CASE WHEN c.before_kind IS NULL THEN t.idatetime
                    ELSE c.before->>'IDateTime' END,
               CASE WHEN c.before_kind IS NULL THEN t.odatetime
                    ELSE c.before->>'ODateTime' END,
               CASE WHEN c.before_kind IS NULL THEN t.action ELSE c.before->>'Action' END,
               CASE WHEN c.before_kind IS NULL THEN t.cash ELSE c.before->>'Cash' END
        FROM c LEFT JOIN ledger t ON c.before_kind IS NULL AND t.site = c.site
                                     AND t.row_id = c.row_id
        WHERE c.kind = 'ledger_purge'
          AND (c.before_kind IN ('ledger_insert', 'ledger_update')
               OR c.before_kind IS NULL AND t.row_id IS NOT NULL)
    ), gone AS (
        DELETE FROM ledger t USING c
        WHERE c.last AND c.kind IN ('ledger_delete', 'ledger_purge') AND t.site = c.site
              AND t.row_id = c.row_id
    )
    INSERT INTO ledger
    SELECT site, row_id, payload->>'roomNum', payload->>'IDateTime', payload->>'ODateTime',
           payload->>'Action', payload->>'Cash'
    FROM c WHERE last AND kind IN ('ledger_insert', 'ledger_update')
    ON CONFLICT (site, row_id) DO UPDATE SET roomnum = EXCLUDED.roomnum,
        idatetime = EXCLUDED.idatetime, odatetime = EXCLUDED.odatetime,
        action = EXCLUDED.action, cash = EXCLUDED.cash;
    RETURN NULL;
END $$;
DROP TRIGGER apply ON tavolen.change;
DROP FUNCTION tavolen.apply_change();
CREATE TRIGGER apply AFTER INSERT ON tavolen.change REFERENCING NEW TABLE AS arrived
    FOR EACH STATEMENT EXECUTE FUNCTION tavolen.apply_changes();

GRANT SELECT ON tavolen.ledger_hour TO tavolen_group;
DO $$
DECLARE
    r record;
BEGIN
    FOR r IN SELECT DISTINCT s.role FROM tavolen.site_role s
             JOIN pg_roles p ON p.rolname = s.role LOOP
        EXECUTE format('GRANT SELECT ON tavolen.ledger_hour TO %I', r.role);
    END LOOP;
END $$;
)SQL",
    // 3: the trail of desk actions (changes of kind 'audit'), kept as they arrive: the desk
    // never changes nor deletes a row of it, and the central ledger keeps every one.
    R"SQL(
CREATE TABLE tavolen.audit (
    site text NOT NULL,
    seq bigint NOT NULL,
    uid text NOT NULL,
    at text NOT NULL,
    grade integer NOT NULL,
    action text NOT NULL,
    detail jsonb NOT NULL,
    PRIMARY KEY (site, uid)
);
CREATE INDEX audit_at ON tavolen.audit (site, at);
ALTER TABLE tavolen.audit ENABLE ROW LEVEL SECURITY;
CREATE POLICY by_site ON tavolen.audit USING (tavolen.may_see(site, current_user))
    WITH CHECK (tavolen.may_see(site, current_user));

-- As in version 2, with the trail's rows taken too.
CREATE OR REPLACE FUNCTION tavolen.apply_changes() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = tavolen, pg_temp AS $$
DECLARE
    wrong record;
BEGIN
    SELECT a.site, a.seq INTO wrong
    FROM (SELECT site, seq, row_number() OVER (PARTITION BY site ORDER BY seq) AS n
          FROM arrived) a
    LEFT JOIN site s ON s.site = a.site
    WHERE s.last_seq IS NULL OR a.seq <> s.last_seq + a.n
    ORDER BY a.seq LIMIT 1;
    IF FOUND THEN
        RAISE EXCEPTION USING ERRCODE = 'TV001',
            MESSAGE = format('change %s of site %s does not follow the last one received',
                             wrong.seq, wrong.site);
    END IF;
    SELECT a.site, a.seq, a.kind INTO wrong FROM arrived a
    WHERE a.kind NOT IN ('history_insert', 'history_update', 'history_delete', 'history_purge',
                         'ledger_insert', 'ledger_update', 'ledger_delete', 'ledger_purge',
                         'audit')
    ORDER BY a.seq LIMIT 1;
    IF FOUND THEN
        RAISE EXCEPTION USING ERRCODE = 'TV002',
            MESSAGE = format('change %s of site %s has an unknown kind %s', wrong.seq,
                             wrong.site, wrong.kind);
    END IF;
    INSERT INTO audit
    SELECT site, seq, payload->>'uid', payload->>'at', (payload->>'grade')::integer,
           payload->>'action', payload->'detail'
    FROM arrived WHERE kind = 'audit'
    ON CONFLICT (site, uid) DO NOTHING;
    UPDATE site s SET last_seq = a.last, last_received_at = a.received
    FROM (SELECT site, max(seq) AS last, max(received_at) AS received FROM arrived
          GROUP BY site) a
    WHERE s.site = a.site;

    WITH c AS (
        SELECT site, seq, kind, payload, (payload->>'row')::bigint AS row_id,
               lag(kind) OVER w AS before_kind, lag(payload) OVER w AS before,
               lead(seq) OVER w IS NULL AS last
        FROM arrived WHERE kind LIKE 'history\_%'
        WINDOW w AS (PARTITION BY site, (payload->>'row')::bigint ORDER BY seq)
    ), kept AS (
        INSERT INTO history_kept
        SELECT c.site, c.seq, c.row_id,
               CASE WHEN c.before_kind IS NULL THEN t.roomnum ELSE c.before->>'roomNum' END,
               CASE WHEN c.before_kind IS NULL THEN t.sdate ELSE c.before->>'Sdate' END,
               CASE WHEN c.before_kind IS NULL THEN t.stime ELSE c.before->>'Stime' END,
               CASE WHEN c.before_kind IS NULL THEN t.action ELSE c.before->>'Action' END,
               CASE WHEN c.before_kind IS NULL THEN t.comm ELSE c.before->>'Comm' END
        FROM c LEFT JOIN history t ON c.before_kind IS NULL AND t.site = c.site
                                      AND t.row_id = c.row_id
        WHERE c.kind = 'history_purge'
          AND (c.before_kind IN ('history_insert', 'history_update')
               OR c.before_kind IS NULL AND t.row_id IS NOT NULL)
    ), gone AS (
        DELETE FROM history t USING c
        WHERE c.last AND c.kind IN ('history_delete', 'history_purge') AND t.site = c.site
              AND t.row_id = c.row_id
    )
    INSERT INTO history
    SELECT site, row_id, payload->>'roomNum', payload->>'Sdate', payload->>'Stime',
           payload->>'Action', payload->>'Comm'
    FROM c WHERE last AND kind IN ('history_insert', 'history_update')
    ON CONFLICT (site, row_id) DO UPDATE SET roomnum = EXCLUDED.roomnum,
        sdate = EXCLUDED.sdate, stime = EXCLUDED.stime, action = EXCLUDED.action,
        comm = EXCLUDED.comm;

    WITH c AS (
        SELECT site, seq, kind, payload, (payload->>'row')::bigint AS row_id,
               lag(kind) OVER w AS before_kind, lag(payload) OVER w AS before,
               lead(seq) OVER w IS NULL AS last
        FROM arrived WHERE kind LIKE 'ledger\_%'
        WINDOW w AS (PARTITION BY site, (payload->>'row')::bigint ORDER BY seq)
    ), kept AS (
        INSERT INTO ledger_kept
        SELECT c.site, c.seq, c.row_id,
               CASE WHEN c.before_kind IS NULL THEN t.roomnum ELSE c.before->>'roomNum' END,
               CASE WHEN c.before_kind IS NULL THEN t.idatetime
                    ELSE c.before->>'IDateTime' END,
               CASE WHEN c.before_kind IS NULL THEN t.odatetime
                    ELSE c.before->>'ODateTime' END,
               CASE WHEN c.before_kind IS NULL THEN t.action ELSE c.before->>'Action' END,
               CASE WHEN c.before_kind IS NULL THEN t.cash ELSE c.before->>'Cash' END
        FROM c LEFT JOIN ledger t ON c.before_kind IS NULL AND t.site = c.site
                                     AND t.row_id = c.row_id
        WHERE c.kind = 'ledger_purge'
          AND (c.before_kind IN ('ledger_insert', 'ledger_update')
               OR c.before_kind IS NULL AND t.row_id IS NOT NULL)
    ), gone AS (
        DELETE FROM ledger t USING c
        WHERE c.last AND c.kind IN ('ledger_delete', 'ledger_purge') AND t.site = c.site
              AND t.row_id = c.row_id
    )
    INSERT INTO ledger
    SELECT site, row_id, payload->>'roomNum', payload->>'IDateTime', payload->>'ODateTime',
           payload->>'Action', payload->>'Cash'
    FROM c WHERE last AND kind IN ('ledger_insert', 'ledger_update')
    ON CONFLICT (site, row_id) DO UPDATE SET roomnum = EXCLUDED.roomnum,
        idatetime = EXCLUDED.idatetime, odatetime = EXCLUDED.odatetime,
        action = EXCLUDED.action, cash = EXCLUDED.cash;
    RETURN NULL;
END $$;

GRANT SELECT ON tavolen.audit TO tavolen_group;
DO $$
DECLARE
    r record;
BEGIN
    FOR r IN SELECT DISTINCT s.role FROM tavolen.site_role s
             JOIN pg_roles p ON p.rolname = s.role LOOP
        EXECUTE format('GRANT SELECT ON tavolen.audit TO %I', r.role);
    END LOOP;
END $$;
)SQL",
    // 4: each site's heartbeat: the sender says it is alive every minute, with or without
    // changes to send, for the group's watch to tell a desk that is off.
    R"SQL(
CREATE TABLE tavolen.heartbeat (
    site text PRIMARY KEY REFERENCES tavolen.site,
    at timestamptz NOT NULL DEFAULT pg_catalog.clock_timestamp()
);
ALTER TABLE tavolen.heartbeat ENABLE ROW LEVEL SECURITY;
CREATE POLICY by_site ON tavolen.heartbeat USING (tavolen.may_see(site, current_user))
    WITH CHECK (tavolen.may_see(site, current_user));

-- The time is the server's: a desk whose clock is wrong, or a role that writes a time of its
-- own, can neither look alive nor look silent to the watch.
CREATE FUNCTION tavolen.stamp_heartbeat() RETURNS trigger
LANGUAGE plpgsql SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    NEW.at := clock_timestamp();
    RETURN NEW;
END $$;
CREATE TRIGGER stamp BEFORE INSERT OR UPDATE ON tavolen.heartbeat
    FOR EACH ROW EXECUTE FUNCTION tavolen.stamp_heartbeat();

-- The sender's one statement: its site's row, written with the caller's rights, so that a
-- site's role touches its own row only.
CREATE FUNCTION tavolen.beat(site text) RETURNS void
LANGUAGE sql SET search_path = pg_catalog, pg_temp AS $$
    INSERT INTO tavolen.heartbeat (site) VALUES (beat.site)
    ON CONFLICT ON CONSTRAINT heartbeat_pkey DO UPDATE SET at = EXCLUDED.at
$$;

GRANT SELECT ON tavolen.heartbeat TO tavolen_group;
DO $$
DECLARE
    r record;
BEGIN
    FOR r IN SELECT DISTINCT s.role FROM tavolen.site_role s
             JOIN pg_roles p ON p.rolname = s.role LOOP
        EXECUTE format('GRANT SELECT, INSERT (site), UPDATE (at) ON tavolen.heartbeat TO %I',
                       r.role);
    END LOOP;
END $$;
)SQL",
};

// Row-level security on every table that names a site, with one policy each.
const char* const kSiteTables[] = {"site",   "change",      "history",  "history_kept",
                                   "ledger", "ledger_kept", "site_role"};

}  // namespace

int centralSchema::latestVersion() { return int(kMigrations.size()); }

int centralSchema::currentVersion(PgConnection& pg) {
    const PgResult exists = pg.exec(
        QStringLiteral("SELECT pg_catalog.to_regclass('tavolen.schema_version') IS NOT NULL"));
    if (exists.text(0, 0) != QStringLiteral("t")) return 0;
    return pg
        .exec(QStringLiteral(
            "SELECT coalesce(pg_catalog.max(version), 0) FROM tavolen.schema_version"))
        .text(0, 0)
        .toInt();
}

int centralSchema::migrate(PgConnection& pg, int upTo) {
    int applied = 0;
    pg.exec(QStringLiteral("BEGIN"));
    try {
        // One program at a time: a second `central init` waits here, then finds nothing to do.
        pg.exec(QStringLiteral("SELECT pg_catalog.pg_advisory_xact_lock(742100)"));
        pg.exec(QStringLiteral("CREATE SCHEMA IF NOT EXISTS tavolen"));
        pg.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS tavolen.schema_version (version integer PRIMARY KEY, "
            "applied_at timestamptz NOT NULL DEFAULT pg_catalog.now())"));
        for (int v = currentVersion(pg) + 1; v <= std::min(upTo, latestVersion()); ++v) {
            pg.execScript(QString::fromUtf8(kMigrations[size_t(v - 1)]));
            if (v == 1) {
                for (const char* table : kSiteTables) {
                    const QString t = QString::fromLatin1(table);
                    pg.exec(
                        QStringLiteral("ALTER TABLE tavolen.%1 ENABLE ROW LEVEL SECURITY").arg(t));
                    pg.exec(QStringLiteral("CREATE POLICY by_site ON tavolen.%1 USING "
                                           "(tavolen.may_see(site, current_user)) WITH CHECK "
                                           "(tavolen.may_see(site, current_user))")
                                .arg(t));
                }
            }
            pg.exec(QStringLiteral("INSERT INTO tavolen.schema_version (version) VALUES ($1)"),
                    {QString::number(v)});
            ++applied;
        }
        // Servers made before PostgreSQL 15 let every role create in `public`, a schema every
        // other role's session searches: a function planted there would run as them.
        pg.execScript(QStringLiteral(
            "DO $$ BEGIN IF EXISTS (SELECT FROM pg_catalog.pg_namespace WHERE nspname = "
            "'public') THEN REVOKE CREATE ON SCHEMA public FROM PUBLIC; END IF; END $$"));
        pg.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        if (pg.isUsable()) pg.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    return applied;
}

void centralSchema::grantSite(PgConnection& pg, const QString& site, const QString& role) {
    if (site.trimmed().isEmpty() || role.trimmed().isEmpty())
        throw CentralError(QStringLiteral("사이트와 역할 이름이 필요합니다"),
                           QStringLiteral("TVCFG"));
    const QString r = pg.quoteIdentifier(role);
    pg.exec(QStringLiteral("BEGIN"));
    try {
        if (pg.exec(QStringLiteral("SELECT 1 FROM pg_catalog.pg_roles WHERE rolname = $1"), {role})
                .rows() == 0)
            pg.exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(r));
        pg.exec(
            QStringLiteral("INSERT INTO tavolen.site (site) VALUES ($1) ON CONFLICT DO NOTHING"),
            {site});
        pg.exec(QStringLiteral("INSERT INTO tavolen.site_role (site, role) VALUES ($1, $2) "
                               "ON CONFLICT DO NOTHING"),
                {site, role});
        pg.exec(QStringLiteral("GRANT USAGE ON SCHEMA tavolen TO %1").arg(r));
        pg.exec(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA tavolen TO %1").arg(r));
        // What the sender needs: its changes, its site's name and row, and its heartbeat.
        pg.exec(QStringLiteral("GRANT INSERT ON tavolen.change TO %1").arg(r));
        pg.exec(QStringLiteral("GRANT INSERT, UPDATE (name) ON tavolen.site TO %1").arg(r));
        if (currentVersion(pg) >= 4)
            pg.exec(QStringLiteral("GRANT INSERT (site), UPDATE (at) ON tavolen.heartbeat TO %1")
                        .arg(r));
        pg.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        if (pg.isUsable()) pg.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}
