-- The demo database: a few small tables that together hold a value of
-- every SQL type velora-server describes. Loaded with the sqlite3 shell.
CREATE TABLE products (
  id        INTEGER,
  code      CHAR(6),
  name      VARCHAR(40),
  price     NUMERIC(10,2),
  weight    REAL,
  in_stock  BIT,
  added     DATE
);
INSERT INTO products VALUES (1, 'KB-101', 'Keyboard',      49.90,  0.75, 1, '2024-01-15');
INSERT INTO products VALUES (2, 'MS-202', 'Mouse',         19.50,  0.125, 1, '2024-02-29');
INSERT INTO products VALUES (3, 'MN-303', 'Monitor 27"',  289.00,  5.5, 0, '2023-11-02');
INSERT INTO products VALUES (4, 'CB-404', 'USB-C cable',    7.25,  0.0625, 1, NULL);

CREATE TABLE events (
  id        BIGINT,
  product   INTEGER,
  happened  TIMESTAMP,
  opens     TIME,
  level     TINYINT,
  quantity  SMALLINT,
  rating    FLOAT,
  note      LONGVARCHAR
);
INSERT INTO events VALUES (9000000000001, 1, '2024-03-01 09:15:00',     '09:00:00', 1, 12,  4.5,   'first delivery');
INSERT INTO events VALUES (9000000000002, 2, '2024-03-02 17:45:30.250', '08:30:00', 2, -3,  3.75,  'returned: wrong colour');
INSERT INTO events VALUES (9000000000003, 3, '2024-03-05 12:00:00',     '10:00:00', 3, 1,   4.875, NULL);

CREATE TABLE tags (
  product   INTEGER,
  label     CHAR(8),
  badge     BINARY(4),
  short_id  VARBINARY(16),
  payload   LONGVARBINARY
);
INSERT INTO tags VALUES (1, 'office', X'4B455931', X'6B62', X'4B6579626F61726420646174617368656574');
INSERT INTO tags VALUES (3, 'display', X'4D4F4E33', X'6D6F6E69746F72', X'3237206C6F772D626C7565');
