-- Demo content of the shop database: a few customers and their orders.
-- The columns the shop leaves empty are not named; the relaxed session mode
-- below lets the server fill them with empty values, as on the real shop.

SET NAMES utf8mb4;
SET SESSION sql_mode = 'NO_ENGINE_SUBSTITUTION';

INSERT INTO uop5b_jshopping_users (user_id, usergroup_id, u_name, f_name, l_name, firma_name, client_type, email, city, phone, lang) VALUES
  (57, 1, 'romashka', 'ООО Ромашка', '', 'ООО Ромашка', 2, 'zakaz@romashka.example', 'Воронеж', '+7 473 200-10-57', 'ru-RU'),
  (58, 1, 'petrov', 'ИП Петров', 'Пётр Семёнович', 'ИП Петров П. С.', 2, 'petrov@example.ru', 'Липецк', '+7 474 250-00-58', 'ru-RU'),
  (3, 1, 'vektor', 'ООО "Вектор"', '', 'ООО "Вектор"', 2, 'office@vektor.example', 'Белгород', '+7 472 230-00-03', 'ru-RU'),
  (61, 1, 'ivanova', 'Иванова Алёна', 'Иванова', '', 1, 'alena.ivanova@example.ru', 'Курск', '+7 471 255-61-61', 'ru-RU'),
  (72, 1, 'dom_i_sad', 'Магазин «Дом и сад»', '', 'ИП Ёлкин Д. А.', 2, 'domisad@example.ru', 'Орёл', '+7 486 244-72-72', 'ru-RU');

-- Orders. order_status: statuses 7 and above are ones the shop has finished.
INSERT INTO uop5b_jshopping_orders (order_id, order_number, user_id, order_total, order_subtotal, currency_code, currency_code_iso, currency_exchange, order_status, order_created, order_date, invoice_date, order_m_date, f_name, email, ip_address, lang) VALUES
  (1001, '00001001', 57, 3079.0000, 3079.0000, 'руб.', 'RUB', 1.000000, 7, 1, '2026-12-03 10:15:00', '0000-00-00 00:00:00', '2026-12-05 17:30:00', 'ООО Ромашка', 'zakaz@romashka.example', '127.0.0.1', 'ru-RU'),
  (1002, '00001002', 57, 523.5000, 523.5000, 'руб.', 'RUB', 1.000000, 1, 1, NOW() - INTERVAL 1 DAY, '0000-00-00 00:00:00', NOW() - INTERVAL 1 DAY, 'ООО Ромашка', 'zakaz@romashka.example', '127.0.0.1', 'ru-RU'),
  (1003, '00001003', 57, 1800.0000, 1800.0000, 'руб.', 'RUB', 1.000000, 8, 1, '2026-12-15 16:40:00', '0000-00-00 00:00:00', '0000-00-00 00:00:00', 'ООО Ромашка', 'zakaz@romashka.example', '127.0.0.1', 'ru-RU'),
  (1004, '00001004', 58, 0.0000, 0.0000, 'руб.', 'RUB', 1.000000, 2, 1, NOW() - INTERVAL 3 DAY, '0000-00-00 00:00:00', NOW() - INTERVAL 3 DAY, 'ИП Петров', 'petrov@example.ru', '127.0.0.1', 'ru-RU'),
  (1005, '00001005', 58, 2474.8500, 2474.8500, 'руб.', 'RUB', 1.000000, 9, 1, '2026-12-20 09:05:30', '0000-00-00 00:00:00', '2026-12-21 12:00:00', 'ИП Петров', 'petrov@example.ru', '127.0.0.1', 'ru-RU'),
  (1006, '00001006', 58, 149.8000, 149.8000, 'руб.', 'RUB', 1.000000, 6, 1, NOW() - INTERVAL 2 HOUR, '0000-00-00 00:00:00', NOW() - INTERVAL 2 HOUR, 'ИП Петров', 'petrov@example.ru', '127.0.0.1', 'ru-RU');

INSERT INTO uop5b_jshopping_order_item (order_id, product_id, product_ean, product_name, product_quantity, product_item_price) VALUES
  (1001, 1012, 'А-10002', 'Чай чёрный листовой Ахмад 200 г', 10.00, 189.9000),
  (1001, 1020, 'А-10004', 'Печенье д''Артаньян сахарное 150 г', 20.00, 45.0000),
  (1001, 1033, '4601000000091', 'Конфеты "Мишка на Севере" весовые 1 кг', 1.00, 280.0000),
  (1002, 1041, 'А-10011', 'Кружка керамическая белая 300 мл', 6.00, 75.5000),
  (1002, 1047, 'А-10013', 'ёршик для унитаза с подставкой белый', 1.00, 70.5000),
  (1003, 1055, '4601000000154', 'Сковорода антипригарная Tefal 28 см', 2.00, 900.0000),
  (1005, 1012, 'А-10002', 'Чай чёрный листовой Ахмад 200 г', 5.00, 189.9000),
  (1005, 1063, 'А-10018', 'Средство для мытья посуды Фея лимон 500 мл', 12.00, 89.9900),
  (1005, 1071, 'А-10021', 'Шар ёлочный стеклянный 8 см', 4.00, 55.0000),
  (1005, 1078, '4601000000217', 'Coffee Jacobs Monarch растворимый 95 г', 1.50, 389.9900),
  (1006, 1089, 'А-10025', 'Ручка шариковая синяя Erich Krause 1 шт.', 2.00, 74.9000);

INSERT INTO uop5b_jshopping_order_history (order_id, order_status_id, status_date_added, customer_notify, comments) VALUES
  (1001, 1, '2026-12-03 10:15:00', 0, ''),
  (1001, 2, '2026-12-03 14:02:10', 1, 'Заказ принят в работу'),
  (1001, 7, '2026-12-05 17:30:00', 1, 'Отгружен, накладная № 1184'),
  (1002, 1, NOW() - INTERVAL 1 DAY, 0, ''),
  (1004, 1, NOW() - INTERVAL 3 DAY, 0, ''),
  (1004, 2, NOW() - INTERVAL 2 DAY, 1, 'Ожидает оплаты'),
  (1005, 1, '2026-12-20 09:05:30', 0, ''),
  (1005, 7, '2026-12-21 12:00:00', 1, 'Отгружен'),
  (1005, 9, '2026-12-22 08:45:00', 1, 'Оплачен полностью'),
  (1006, 1, NOW() - INTERVAL 2 HOUR, 0, ''),
  (1006, 6, NOW() - INTERVAL 1 HOUR, 0, 'Собирается на складе');

ALTER TABLE uop5b_jshopping_orders AUTO_INCREMENT = 1100;
