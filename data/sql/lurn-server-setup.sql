-- Lurn: setting up a café's PostgreSQL server for many stations and a counter.
--
-- Run once, as a superuser (or a role with CREATEROLE that may create
-- objects), connected to the café's database:
--     psql -d cafe -f /usr/share/lurn/lurn-server-setup.sql
-- Then add one login role per station (see lurn_add_station at the end) and
-- give the counter's PC the role lurn_counter (or a login role IN ROLE lurn_counter).
--
-- What it makes:
--   lurn_owner    owns the tables; nobody logs in with it.
--   lurn_station  group role of the stations; each station logs in with its
--                 own role, tied to its station name in station_roles.
--   lurn_counter  the counter: reads everything, issues commands, writes no session.
-- Row-level security is forced on sessions, stations and commands, so a
-- station (where a customer sits) can write only its own rows and read only
-- its own commands. Lurn sees schema_version at 2 and creates nothing.
-- Running the script again changes nothing that is already in place.

BEGIN;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_owner') THEN
        CREATE ROLE lurn_owner NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_station') THEN
        CREATE ROLE lurn_station NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_counter') THEN
        CREATE ROLE lurn_counter LOGIN;
    END IF;
END
$$;

-- The tables, as Lurn's own migrations would make them (schema version 2).
CREATE TABLE IF NOT EXISTS sessions (
    id uuid PRIMARY KEY,
    station text NOT NULL,
    started_at timestamptz NOT NULL,
    ended_at timestamptz,
    planned_seconds integer NOT NULL,
    rate_per_hour integer NOT NULL,
    cost bigint NOT NULL,
    end_reason text NOT NULL CHECK (end_reason IN
        ('running', 'time_up', 'stopped', 'closed', 'interrupted')),
    last_seen_at timestamptz NOT NULL);
CREATE INDEX IF NOT EXISTS sessions_by_start ON sessions (started_at, station);
CREATE INDEX IF NOT EXISTS sessions_by_station ON sessions (station, started_at);

CREATE TABLE IF NOT EXISTS stations (
    station text PRIMARY KEY,
    host text NOT NULL DEFAULT '',
    lurn_version text NOT NULL DEFAULT '',
    state text NOT NULL CHECK (state IN ('idle','running','warning','ended','stopped')),
    session_id uuid,
    started_at timestamptz,
    planned_seconds integer,
    ends_at timestamptz,
    rate_per_hour integer,
    cost bigint,
    updated_at timestamptz NOT NULL DEFAULT now());

CREATE TABLE IF NOT EXISTS commands (
    id uuid PRIMARY KEY DEFAULT gen_random_uuid(),
    station text NOT NULL,
    kind text NOT NULL,
    hours integer, minutes integer, seconds integer,
    second_rate boolean,
    warn_minutes integer,
    add_minutes integer,
    message text,
    issued_by text NOT NULL DEFAULT current_user,
    issued_at timestamptz NOT NULL DEFAULT now(),
    expires_at timestamptz NOT NULL DEFAULT now() + interval '60 seconds',
    state text NOT NULL DEFAULT 'pending' CHECK (state IN ('pending','done','refused','expired')),
    answered_at timestamptz,
    answer text);
CREATE INDEX IF NOT EXISTS commands_pending ON commands (station) WHERE state = 'pending';

CREATE OR REPLACE FUNCTION lurn_command_issued() RETURNS trigger LANGUAGE plpgsql AS
$$BEGIN PERFORM pg_notify('lurn_commands', NEW.station); RETURN NULL; END$$;
CREATE OR REPLACE TRIGGER commands_issued AFTER INSERT ON commands
    FOR EACH ROW EXECUTE FUNCTION lurn_command_issued();
CREATE OR REPLACE FUNCTION lurn_command_answered() RETURNS trigger LANGUAGE plpgsql AS
$$BEGIN PERFORM pg_notify('lurn_answers', NEW.id::text); RETURN NULL; END$$;
CREATE OR REPLACE TRIGGER commands_answered AFTER UPDATE OF state ON commands
    FOR EACH ROW WHEN (OLD.state IS DISTINCT FROM NEW.state)
    EXECUTE FUNCTION lurn_command_answered();

CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL);
DELETE FROM schema_version;
INSERT INTO schema_version (version) VALUES (2);

-- Which login role is which station. A station's name is the one tied to
-- the role it logs in with, whatever its Puesto setting says.
CREATE TABLE IF NOT EXISTS station_roles (
    role name PRIMARY KEY,
    station text UNIQUE NOT NULL);

-- The station of the role asking; nothing for any other role. It runs as the
-- owner, so that stations need no right on station_roles.
CREATE OR REPLACE FUNCTION lurn_station_name() RETURNS text
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, public AS
$$SELECT station FROM public.station_roles WHERE role = session_user$$;

ALTER TABLE sessions OWNER TO lurn_owner;
ALTER TABLE stations OWNER TO lurn_owner;
ALTER TABLE commands OWNER TO lurn_owner;
ALTER TABLE schema_version OWNER TO lurn_owner;
ALTER TABLE station_roles OWNER TO lurn_owner;
ALTER FUNCTION lurn_command_issued() OWNER TO lurn_owner;
ALTER FUNCTION lurn_command_answered() OWNER TO lurn_owner;
ALTER FUNCTION lurn_station_name() OWNER TO lurn_owner;
REVOKE ALL ON FUNCTION lurn_station_name() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION lurn_station_name() TO lurn_station, lurn_counter;

REVOKE ALL ON sessions, stations, commands, schema_version, station_roles FROM PUBLIC;
GRANT SELECT ON schema_version TO lurn_station, lurn_counter;
GRANT SELECT, INSERT, UPDATE ON sessions, stations TO lurn_station;
GRANT SELECT ON commands TO lurn_station;
GRANT UPDATE (state, answered_at, answer) ON commands TO lurn_station;
GRANT SELECT ON sessions, stations, commands, station_roles TO lurn_counter;
GRANT INSERT ON commands TO lurn_counter;

ALTER TABLE sessions ENABLE ROW LEVEL SECURITY;
ALTER TABLE sessions FORCE ROW LEVEL SECURITY;
ALTER TABLE stations ENABLE ROW LEVEL SECURITY;
ALTER TABLE stations FORCE ROW LEVEL SECURITY;
ALTER TABLE commands ENABLE ROW LEVEL SECURITY;
ALTER TABLE commands FORCE ROW LEVEL SECURITY;

DROP POLICY IF EXISTS station_reads ON sessions;
DROP POLICY IF EXISTS station_adds ON sessions;
DROP POLICY IF EXISTS station_changes ON sessions;
DROP POLICY IF EXISTS counter_reads ON sessions;
CREATE POLICY station_reads ON sessions FOR SELECT TO lurn_station
    USING (station = lurn_station_name());
CREATE POLICY station_adds ON sessions FOR INSERT TO lurn_station
    WITH CHECK (station = lurn_station_name());
CREATE POLICY station_changes ON sessions FOR UPDATE TO lurn_station
    USING (station = lurn_station_name()) WITH CHECK (station = lurn_station_name());
CREATE POLICY counter_reads ON sessions FOR SELECT TO lurn_counter USING (true);

DROP POLICY IF EXISTS station_reads ON stations;
DROP POLICY IF EXISTS station_adds ON stations;
DROP POLICY IF EXISTS station_changes ON stations;
DROP POLICY IF EXISTS counter_reads ON stations;
CREATE POLICY station_reads ON stations FOR SELECT TO lurn_station
    USING (station = lurn_station_name());
CREATE POLICY station_adds ON stations FOR INSERT TO lurn_station
    WITH CHECK (station = lurn_station_name());
CREATE POLICY station_changes ON stations FOR UPDATE TO lurn_station
    USING (station = lurn_station_name()) WITH CHECK (station = lurn_station_name());
CREATE POLICY counter_reads ON stations FOR SELECT TO lurn_counter USING (true);

DROP POLICY IF EXISTS station_reads ON commands;
DROP POLICY IF EXISTS station_answers ON commands;
DROP POLICY IF EXISTS counter_reads ON commands;
DROP POLICY IF EXISTS counter_issues ON commands;
CREATE POLICY station_reads ON commands FOR SELECT TO lurn_station
    USING (station = lurn_station_name());
CREATE POLICY station_answers ON commands FOR UPDATE TO lurn_station
    USING (station = lurn_station_name() AND state = 'pending')
    WITH CHECK (station = lurn_station_name());
CREATE POLICY counter_reads ON commands FOR SELECT TO lurn_counter USING (true);
-- A command is issued pending, in the issuer's own name.
CREATE POLICY counter_issues ON commands FOR INSERT TO lurn_counter
    WITH CHECK (state = 'pending' AND answered_at IS NULL AND answer IS NULL
                AND issued_by = session_user);

-- Adding a station: a login role in the group, tied to the station's name
-- (its Puesto setting). Run as the administrator, for example
--     SELECT lurn_add_station('lurn_pc01', 'PC01');
--     ALTER ROLE lurn_pc01 PASSWORD '...';
-- and put that password in the station's ~/.pgpass, readable by the
-- station's account only (chmod 600):
--     caja.local:5432:cafe:lurn_pc01:...
-- The same by hand:
--     CREATE ROLE lurn_pc01 LOGIN IN ROLE lurn_station;
--     INSERT INTO station_roles (role, station) VALUES ('lurn_pc01', 'PC01');
CREATE OR REPLACE FUNCTION lurn_add_station(login name, station_name text) RETURNS void
    LANGUAGE plpgsql SET search_path = pg_catalog, public AS
$$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = login) THEN
        EXECUTE format('CREATE ROLE %I LOGIN', login);
    END IF;
    EXECUTE format('GRANT lurn_station TO %I', login);
    INSERT INTO public.station_roles (role, station) VALUES (login, station_name)
        ON CONFLICT (role) DO UPDATE SET station = excluded.station;
END
$$;
REVOKE ALL ON FUNCTION lurn_add_station(name, text) FROM PUBLIC;

COMMIT;
