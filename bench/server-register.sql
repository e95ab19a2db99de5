-- Fills an empty server register with :count records shaped as the bench's
-- generator shapes them (same words, lengths and skew), for
-- quorvel-bench-server --server-only: ten million records take about a
-- quarter of an hour here, where the bench's own fill from an SQLite
-- register takes hours. The register must be new (quorvel-cli --register URL init):
--   psql -v count=10000000 -f bench/server-register.sql DATABASE
\set ON_ERROR_STOP on
SET maintenance_work_mem = '1GB';

CREATE FUNCTION pg_temp.bench_name() RETURNS text LANGUAGE plpgsql AS $$
DECLARE
    chinese text[] := '{报告,合同,会议,纪要,方案,预算,总结,通知,设计,图纸,发票,清单,计划,项目,季度,年度,说明,申请,审批,财务,市场,销售,技术,测试,培训,采购,质量,客户,工程,数据}';
    ascii text[] := '{draft,final,v2,scan,notes,Q3,spec,memo,copy,img,list,plan,2019,rev}';
    extensions text[] := '{doc,docx,xls,pdf,txt,jpg,zip,ppt,dwg}';
    name text := '';
BEGIN
    WHILE length(name) < 16 LOOP
        IF random() < 1.0 / 3 THEN
            name := name || ascii[1 + floor(random() * 14)::int];
        ELSE
            name := name || chinese[1 + floor(random() * 30)::int];
        END IF;
        IF random() < 0.25 THEN
            name := name || '_';
        END IF;
    END LOOP;
    RETURN name || '.' || extensions[1 + floor(random() * 9)::int];
END $$;

CREATE FUNCTION pg_temp.bench_remark() RETURNS text LANGUAGE plpgsql AS $$
DECLARE
    chinese text[] := '{报告,合同,会议,纪要,方案,预算,总结,通知,设计,图纸,发票,清单,计划,项目,季度,年度,说明,申请,审批,财务,市场,销售,技术,测试,培训,采购,质量,客户,工程,数据}';
    ascii text[] := '{draft,final,v2,scan,notes,Q3,spec,memo,copy,img,list,plan,2019,rev}';
    remark text := '';
BEGIN
    WHILE length(remark) < 36 LOOP
        remark := remark || chinese[1 + floor(random() * 30)::int];
        IF random() < 0.2 THEN
            remark := remark || '，';
        END IF;
        IF random() < 1.0 / 7 THEN
            remark := remark || ascii[1 + floor(random() * 14)::int] || ' ';
        END IF;
    END LOOP;
    RETURN remark;
END $$;

BEGIN;
-- Indexes are built once at the end, and the value table is counted in one
-- statement, instead of once a record.
CREATE TEMP TABLE bench_indexes AS
    SELECT indexname, indexdef FROM pg_indexes
    WHERE tablename = '文件管理' AND indexname <> '文件管理_pkey';
DO $$ DECLARE i record; BEGIN
    FOR i IN SELECT * FROM bench_indexes LOOP EXECUTE format('DROP INDEX %I', i.indexname); END LOOP;
END $$;
ALTER TABLE "文件管理" DISABLE TRIGGER USER;

INSERT INTO "文件管理" ("记录号", "文件序号", "发件日期", "文件名", "路径", "备注", "接收人", "传送方式", "文件夹")
SELECT i, i, (date '2011-01-01' + (i * 5478 / :count)::int)::text, name,
       regexp_replace(name, '\.([a-z]+)$', '.' || i || '.\1'), pg_temp.bench_remark(),
       recipients[1 + floor(power(random(), 2.5) * 200)::int],
       ('{Email,QQ,面呈,传真,MSN,微信,快递,U盘}'::text[])[1 + floor(power(random(), 2.5) * 8)::int],
       folders[1 + floor(power(random(), 2.5) * 50)::int]
FROM generate_series(1, :count::bigint) AS i,
     LATERAL (SELECT pg_temp.bench_name() AS name, i AS again) AS named,
     (SELECT ARRAY['自己', '本地文档'] || array_agg(surname || given ORDER BY g, s) AS recipients
      FROM unnest('{张,王,李,赵,刘,陈,杨,黄,周,吴}'::text[]) WITH ORDINALITY AS a(surname, s),
           unnest('{伟,芳,娜,敏,静,磊,洋,勇,艳,杰,涛,明,超,秀英,华,平,刚,桂英,建华,文}'::text[])
               WITH ORDINALITY AS b(given, g)) AS r,
     (SELECT ARRAY[''] || (array_agg(word || kind ORDER BY k, w))[1:49] AS folders
      FROM unnest('{报告,合同,会议,纪要,方案,预算,总结,通知,设计,图纸,发票,清单,计划,项目,季度,年度,说明,申请,审批,财务,市场,销售,技术,测试,培训,采购,质量,客户,工程,数据}'::text[])
               WITH ORDINALITY AS a(word, w),
           unnest('{资料,归档}'::text[]) WITH ORDINALITY AS b(kind, k)) AS f;

ALTER TABLE "文件管理" ENABLE TRIGGER USER;
INSERT INTO "文件管理_取值"
SELECT field, value, count(*), count("发件日期")
FROM "文件管理",
     LATERAL (VALUES ('接收人', "接收人"), ('传送方式', "传送方式"), ('文件夹', "文件夹")) AS v(field, value)
WHERE value IS NOT NULL
GROUP BY field, value;
SELECT setval(pg_get_serial_sequence('"文件管理"', '记录号'), :count);
DO $$ DECLARE i record; BEGIN
    FOR i IN SELECT * FROM bench_indexes LOOP EXECUTE i.indexdef; END LOOP;
END $$;
COMMIT;
VACUUM ANALYZE "文件管理";
