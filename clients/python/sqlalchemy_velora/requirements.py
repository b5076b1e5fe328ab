"""What velora-server supports, for SQLAlchemy's dialect compliance suite
(``sqlalchemy.testing.suite``): the suite's defaults, with each difference
justified where it is made. ``sqlite`` and ``postgresql`` name the storage
the server under test keeps its data in; what one storage lacks is closed
there only."""
from sqlalchemy.testing import exclusions
from sqlalchemy.testing.requirements import SuiteRequirements


def _storage(config):
    return getattr(config.db.dialect, "velora_storage", None)


def _on(storage, why):
    return exclusions.only_if(lambda config: _storage(config) == storage, why)


_postgresql = "the server keeps its data in PostgreSQL"


class Requirements(SuiteRequirements):
    # What the suite leaves closed and this class does not open (regular
    # expressions, FETCH FIRST, time zones, tuples of markers, server-side
    # cursors, ...) stays closed: not claimed for the server.

    # Opened: what both storages do and the suite leaves closed by default.
    @property
    def views(self):
        return exclusions.open()

    @property
    def ctes(self):
        return exclusions.open()

    @property
    def table_ddl_if_exists(self):
        return exclusions.open()

    @property
    def index_ddl_if_exists(self):
        return exclusions.open()

    @property
    def temp_table_names(self):
        return _on("sqlite", "SQLAlchemy's PostgreSQL dialect does not list temporary tables")

    @property
    def temp_table_reflect_indexes(self):
        return _on("sqlite", "PostgreSQL's index reflection adds INCLUDE columns the suite does not expect")

    @property
    def autocommit(self):
        return exclusions.open()

    @property
    def isolation_level(self):
        return exclusions.open()

    def get_isolation_levels(self, config):
        # The levels the storage runs as asked (SQL_TXN_ISOLATION_OPTION);
        # a session starts at the least strict of them.
        if _storage(config) == "postgresql":
            return {"default": "READ COMMITTED",
                    "supported": ["READ COMMITTED", "REPEATABLE READ", "SERIALIZABLE", "AUTOCOMMIT"]}
        return {"default": "SERIALIZABLE", "supported": ["SERIALIZABLE", "AUTOCOMMIT"]}

    @property
    def datetime_literals(self):
        return exclusions.open()

    @property
    def date_historic(self):
        return exclusions.open()

    @property
    def datetime_historic(self):
        return exclusions.open()

    @property
    def unbounded_varchar(self):
        return exclusions.open()

    @property
    def unicode_ddl(self):
        return exclusions.open()

    @property
    def percent_schema_names(self):
        return exclusions.open()

    @property
    def table_value_constructor(self):
        return _on("postgresql", "SQLite names no columns of a VALUES list in FROM")

    @property
    def timestamp_microseconds(self):
        return exclusions.open()

    @property
    def create_table_no_columns(self):
        return _on("postgresql", "SQLite has no table without columns")

    # Schemas: over PostgreSQL the test schema is made by the test's setup.
    # Over SQLite a schema would be an attached database, which the server
    # refuses: a data source is one database file.
    @property
    def schemas(self):
        return _on("postgresql", "schemas are attached databases in SQLite, which the server refuses")

    @property
    def implicit_default_schema(self):
        return _on("postgresql", _postgresql)

    @property
    def cross_schema_fk_reflection(self):
        return _on("postgresql", "schemas are attached databases in SQLite, which the server refuses")

    # What PostgreSQL has and SQLite lacks (SQLAlchemy's SQLite dialect says
    # the same of SQLite itself).
    @property
    def sequences(self):
        return _on("postgresql", "SQLite has no sequences")

    @property
    def reflects_pk_names(self):
        return exclusions.open()

    @property
    def implicitly_named_constraints(self):
        return _on("postgresql", "SQLite gives no name to a constraint made without one")

    @property
    def comment_reflection(self):
        return _on("postgresql", "SQLite has no comments on tables and columns")

    @property
    def foreign_key_constraint_option_reflection_ondelete(self):
        return _on("postgresql", _postgresql)

    @property
    def foreign_key_constraint_option_reflection_onupdate(self):
        return _on("postgresql", _postgresql)

    @property
    def supports_distinct_on(self):
        return _on("postgresql", "SQLite has no DISTINCT ON")

    @property
    def ctes_on_dml(self):
        return _on("postgresql", "SQLite has no INSERT, UPDATE or DELETE inside a WITH")

    @property
    def fetch_expression(self):
        return _on("postgresql", "SQLite has no OFFSET ... FETCH")

    @property
    def identity_columns(self):
        return _on("postgresql", "SQLite has no GENERATED ... AS IDENTITY")

    @property
    def identity_columns_standard(self):
        return _on("postgresql", "SQLite has no GENERATED ... AS IDENTITY")

    @property
    def computed_columns(self):
        return exclusions.open()

    @property
    def computed_columns_stored(self):
        return exclusions.open()

    @property
    def computed_columns_virtual(self):
        return _on("sqlite", "PostgreSQL 15 computes stored columns only")

    @property
    def computed_columns_default_persisted(self):
        return _on("postgresql", "SQLite's computed columns are virtual unless said otherwise")

    @property
    def computed_columns_reflect_persisted(self):
        return exclusions.open()

    @property
    def json_type(self):
        return exclusions.open()

    # SQLite's own limits.
    @property
    def parens_in_union_contained_select_w_limit_offset(self):
        return _on("postgresql", "SQLite takes no parentheses around a SELECT of a UNION")

    @property
    def parens_in_union_contained_select_wo_limit_offset(self):
        return _on("postgresql", "SQLite takes no parentheses around a SELECT of a UNION")

    @property
    def unique_constraint_reflection(self):
        return exclusions.open()

    # ODBC's TIME (SQL_TIME_STRUCT) has no fraction of a second: a time
    # parameter or result through any ODBC driver stops at seconds.
    @property
    def time_microseconds(self):
        return exclusions.closed()
