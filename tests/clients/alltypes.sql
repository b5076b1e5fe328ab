-- The fixture of the client tests: one row with a value of every SQL type
-- velora-server describes, and one row that is NULL in every typed column.
CREATE TABLE all_types (
  id          INTEGER,
  c_char      CHAR(8),
  c_varchar   VARCHAR(20),
  c_longvar   LONGVARCHAR,
  c_binary    BINARY(4),
  c_varbin    VARBINARY(8),
  c_longvarb  LONGVARBINARY,
  c_bit       BIT,
  c_tinyint   TINYINT,
  c_smallint  SMALLINT,
  c_integer   INTEGER,
  c_bigint    BIGINT,
  c_real      REAL,
  c_float     FLOAT,
  c_numeric   NUMERIC(10,2),
  c_date      DATE,
  c_time      TIME,
  c_timestamp TIMESTAMP
);
INSERT INTO all_types VALUES (1, 'abc', 'hello world', 'a longer text value', X'41424344', X'4546', X'48494A4B4C',
  '1', -12, 1234, -123456, 9000000000000000001, 2.5, -1234.625, 12345.67,
  '2024-02-29', '13:45:30', '2024-02-29 13:45:30.250');
INSERT INTO all_types (id) VALUES (2);

-- Long values that clients read in pieces: the numbers 0 to 2999 joined
-- by commas (13889 characters), as text and as bytes.
CREATE TABLE long_values (t LONGVARCHAR, b LONGVARBINARY);
INSERT INTO long_values
  WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 2999)
  SELECT group_concat(i, ','), CAST(group_concat(i, ',') AS BLOB) FROM (SELECT i FROM n ORDER BY i) AS ordered;

-- Catalog calls see a view and an index.
CREATE VIEW all_types_view AS SELECT id, c_varchar FROM all_types;
CREATE UNIQUE INDEX all_types_id ON all_types (id);
