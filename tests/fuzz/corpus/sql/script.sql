-- schema
CREATE TABLE a (s TEXT DEFAULT ';');
INSERT INTO a VALUES ('x;
y'), (ISNULL(1), [b c]); -- two

UPDATE a SET s = 'z' WHERE (SELECT 1 WHERE x=1) = 1;
