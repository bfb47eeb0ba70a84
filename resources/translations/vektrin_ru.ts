<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Vektrin</name>
    <message>
        <source>You don&apos;t define Control Alias</source>
        <translation>Не определён псевдоним Control</translation>
    </message>
    <message>
        <source>You have a problem with a Log file open.<byte value="xd"/>
Maybe Vektrin runs already?</source>
        <translation>Не удаётся открыть файл протокола.<byte value="xd"/>
Возможно, Vektrin уже запущен?</translation>
    </message>
    <message>
        <source>Another scheduler holds the tables in %s.</source>
        <translation>Другой планировщик уже работает с таблицами в %s.</translation>
    </message>
    <message>
        <source>The database server %s cannot be reached: %s</source>
        <translation>Сервер базы данных %s недоступен: %s</translation>
    </message>
    <message>
        <source>Another scheduler runs for the host %s on %s.</source>
        <translation>Для компьютера %s на %s уже работает другой планировщик.</translation>
    </message>
    <message>
        <source>The connection to the database server is lost: </source>
        <translation>Связь с сервером базы данных потеряна: </translation>
    </message>
    <message>
        <source>The command string has an unclosed quote %s at character %s.</source>
        <translation>В командной строке не закрыта кавычка %s в позиции %s.</translation>
    </message>
    <message>
        <source>The connection to the database server is back.</source>
        <translation>Связь с сервером базы данных восстановлена.</translation>
    </message>
    <message>
        <source>Task &lt;%s&gt; runs on the workstation %s only.</source>
        <translation>Задача &lt;%s&gt; выполняется только на компьютере %s.</translation>
    </message>
    <message>
        <source>Task &lt;%s&gt; was started on the workstation %s this minute.</source>
        <translation>Задача &lt;%s&gt; уже запущена в эту минуту на компьютере %s.</translation>
    </message>
    <message>
        <source>Task &lt;%s&gt; is not started: the database server cannot be reached.</source>
        <translation>Задача &lt;%s&gt; не запущена: сервер базы данных недоступен.</translation>
    </message>
    <message>
        <source>Another scheduler holds the protocol %s.</source>
        <translation>Другой планировщик уже ведёт протокол %s.</translation>
    </message>
    <message>
        <source>Vektrin runs already (PID %s) for the tables in %s.</source>
        <translation>Vektrin уже работает (PID %s) с таблицами в %s.</translation>
    </message>
    <message>
        <source>Vektrin: first start</source>
        <translation>Vektrin: первый запуск</translation>
    </message>
    <message>
        <source>No database alias Control is defined yet.

Create it in the aliases file
%s
with three empty tables in the directory
%s?</source>
        <translation>Псевдоним базы данных Control ещё не определён.

Создать его в файле псевдонимов
%s
с тремя пустыми таблицами в каталоге
%s?</translation>
    </message>
    <message>
        <source>Create</source>
        <translation>Создать</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>The first start could not be prepared: %s</source>
        <translation>Не удалось подготовить первый запуск: %s</translation>
    </message>
    <message>
        <source>Vektrin lives here, in the notification area: a double click shows its window, the right button opens its menu. Closing the window leaves the scheduler running.</source>
        <translation>Vektrin живёт здесь, в области уведомлений: двойной щелчок показывает его окно, правая кнопка открывает меню. Закрытие окна не останавливает планировщик.</translation>
    </message>
    <message>
        <source>Close &apos;Tasks&apos; form before exit</source>
        <translation>Закройте окно «Параметры задач» перед выходом</translation>
    </message>
    <message>
        <source>Close &apos;Conflicts&apos; form before exit</source>
        <translation>Закройте окно «Доступные конфликтующие ресурсы» перед выходом</translation>
    </message>
    <message>
        <source>Close &apos;Exceptions&apos; form before exit</source>
        <translation>Закройте окно «Периоды тишины» перед выходом</translation>
    </message>
    <message>
        <source>Close &apos;Protocol&apos; form before exit</source>
        <translation>Закройте окно «Протокол работы программы» перед выходом</translation>
    </message>
    <message>
        <source>Have not executed yet</source>
        <translation>Ещё не выполнялась</translation>
    </message>
    <message>
        <source>Completed successfully</source>
        <translation>Завершена успешно</translation>
    </message>
    <message>
        <source>Completed with a code </source>
        <translation>Завершена с кодом </translation>
    </message>
    <message>
        <source>Runs</source>
        <translation>Выполняется</translation>
    </message>
    <message>
        <source>Interrupted by person</source>
        <translation>Прервана оператором</translation>
    </message>
    <message>
        <source>Interrupted by program</source>
        <translation>Прервана программой</translation>
    </message>
    <message>
        <source>Suspended</source>
        <translation>Приостановлена</translation>
    </message>
    <message>
        <source>Resumed</source>
        <translation>Возобновлена</translation>
    </message>
    <message>
        <source>Waiting of a resource liberation</source>
        <translation>Ожидание освобождения ресурса</translation>
    </message>
    <message>
        <source>Skipped because of some of resources busy</source>
        <translation>Пропущена из-за занятых ресурсов</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Неизвестно</translation>
    </message>
    <message>
        <source>Time of a resource liberation waiting is over</source>
        <translation>Время ожидания освобождения ресурса истекло</translation>
    </message>
    <message>
        <source>Waiting of a resource liberation interrupted by person</source>
        <translation>Ожидание освобождения ресурса прервано оператором</translation>
    </message>
    <message>
        <source>Task launch error</source>
        <translation>Ошибка запуска задачи</translation>
    </message>
    <message>
        <source>Waiting of scheduling beginning</source>
        <translation>Ожидание начала планирования</translation>
    </message>
    <message>
        <source>Task scheduling started</source>
        <translation>Планирование задачи начато</translation>
    </message>
    <message>
        <source>Status with an unknown code </source>
        <translation>Состояние с неизвестным кодом </translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Приостановлена</translation>
    </message>
    <message>
        <source>Resource number must be unique. Unable repetition !!!</source>
        <translation>Номер ресурса должен быть уникальным. Повторы недопустимы!!!</translation>
    </message>
    <message>
        <source>May be 31 conflicting resource maximum !!!</source>
        <translation>Конфликтующих ресурсов может быть не больше 31!!!</translation>
    </message>
    <message>
        <source>You have a problem: </source>
        <translation>Возникла проблема: </translation>
    </message>
    <message>
        <source>%1 times since %2</source>
        <translation>%1 раз с %2</translation>
    </message>
    <message>
        <source>Too many tasks executes. Try later !!!</source>
        <translation>Выполняется слишком много задач. Попробуйте позже!!!</translation>
    </message>
    <message>
        <source>It is not enough resources for task execution !</source>
        <translation>Недостаточно ресурсов для выполнения задачи!</translation>
    </message>
    <message>
        <source>Program not found</source>
        <translation>Программа не найдена</translation>
    </message>
    <message>
        <source>Path to program not found</source>
        <translation>Путь к программе не найден</translation>
    </message>
    <message>
        <source>Bad executable file format !</source>
        <translation>Неверный формат исполняемого файла!</translation>
    </message>
    <message>
        <source>Incorrect startup directory</source>
        <translation>Неверный рабочий каталог</translation>
    </message>
    <message>
        <source>Execution error with code </source>
        <translation>Ошибка выполнения с кодом </translation>
    </message>
    <message>
        <source>Invalid floating point operation</source>
        <translation>Недопустимая операция с плавающей точкой</translation>
    </message>
    <message>
        <source>Floating point division by zero</source>
        <translation>Деление на ноль в вычислениях с плавающей точкой</translation>
    </message>
    <message>
        <source>Floating point overflow</source>
        <translation>Переполнение в вычислениях с плавающей точкой</translation>
    </message>
    <message>
        <source>Invalid argument to date encode</source>
        <translation>Недопустимое значение для составления даты</translation>
    </message>
    <message>
        <source>Invalid argument to time encode</source>
        <translation>Недопустимое значение для составления времени</translation>
    </message>
    <message>
        <source>Delete record?</source>
        <translation>Удалить запись?</translation>
    </message>
    <message>
        <source>Delete the task &lt;%s&gt;?</source>
        <translation>Удалить задачу &lt;%s&gt;?</translation>
    </message>
    <message>
        <source>Save changes?</source>
        <translation>Сохранить изменения?</translation>
    </message>
    <message>
        <source>First record</source>
        <translation>Первая запись</translation>
    </message>
    <message>
        <source>Prior record</source>
        <translation>Предыдущая запись</translation>
    </message>
    <message>
        <source>Next record</source>
        <translation>Следующая запись</translation>
    </message>
    <message>
        <source>Last record</source>
        <translation>Последняя запись</translation>
    </message>
    <message>
        <source>Insert record</source>
        <translation>Добавить запись</translation>
    </message>
    <message>
        <source>Delete record</source>
        <translation>Удалить запись</translation>
    </message>
    <message>
        <source>Edit record</source>
        <translation>Изменить запись</translation>
    </message>
    <message>
        <source>Post edit</source>
        <translation>Сохранить изменения</translation>
    </message>
    <message>
        <source>Cancel edit</source>
        <translation>Отменить изменения</translation>
    </message>
    <message>
        <source>Refresh data</source>
        <translation>Обновить данные</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid time</source>
        <translation>«%s» — неверное время</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a valid date</source>
        <translation>«%s» — неверная дата</translation>
    </message>
    <message>
        <source>A record of this table has changes that are not stored yet: store or cancel them first</source>
        <translation>В записи этой таблицы есть несохранённые изменения: сначала сохраните или отмените их</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Отчёт</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Task &lt;%s&gt;: no launch in the period.</source>
        <translation>Задача &lt;%s&gt;: в этом периоде запусков нет.</translation>
    </message>
    <message>
        <source>Task &lt;%s&gt;: launches in the period: %s, the first at %s.</source>
        <translation>Задача &lt;%s&gt;: запусков в периоде: %s, первый в %s.</translation>
    </message>
    <message>
        <source>Conflict at %s (%s times): %s</source>
        <translation>Конфликт в %s (раз: %s): %s</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Английский</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>The interface language is stored. It applies at the next start of Vektrin.</source>
        <translation>Язык интерфейса сохранён. Он действует со следующего запуска Vektrin.</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
    <message>
        <source>About Vektrin</source>
        <translation>О программе Vektrin</translation>
    </message>
    <message>
        <source>The manual is not installed: %s</source>
        <translation>Руководство не установлено: %s</translation>
    </message>
    <message>
        <source>No program of the desktop opens the manual %s</source>
        <translation>Ни одна программа рабочего стола не открывает руководство %s</translation>
    </message>
    <message>
        <source>Vektrin %s
A task scheduler for one workstation.
Licence: MIT.

Tables: %s
Settings: %s
Protocol: %s</source>
        <translation>Vektrin %s
Планировщик задач для одной рабочей станции.
Лицензия: MIT.

Таблицы: %s
Настройки: %s
Протокол: %s</translation>
    </message>
    <message>
        <source>Every minute</source>
        <translation>Каждую минуту</translation>
    </message>
    <message>
        <source>Every hour</source>
        <translation>Каждый час</translation>
    </message>
    <message>
        <source>Everyday</source>
        <translation>Ежедневно</translation>
    </message>
    <message>
        <source>Weekly</source>
        <translation>Еженедельно</translation>
    </message>
    <message>
        <source>Every month</source>
        <translation>Ежемесячно</translation>
    </message>
    <message>
        <source>Every year</source>
        <translation>Ежегодно</translation>
    </message>
    <message>
        <source>Additional parameters are not needed</source>
        <translation>Дополнительные параметры не нужны</translation>
    </message>
    <message>
        <source>Day of week</source>
        <translation>День недели</translation>
    </message>
    <message>
        <source>Monday</source>
        <translation>Понедельник</translation>
    </message>
    <message>
        <source>Tuesday</source>
        <translation>Вторник</translation>
    </message>
    <message>
        <source>Wednesday</source>
        <translation>Среда</translation>
    </message>
    <message>
        <source>Thursday</source>
        <translation>Четверг</translation>
    </message>
    <message>
        <source>Friday</source>
        <translation>Пятница</translation>
    </message>
    <message>
        <source>Saturday</source>
        <translation>Суббота</translation>
    </message>
    <message>
        <source>Sunday</source>
        <translation>Воскресенье</translation>
    </message>
    <message>
        <source>Task parameters</source>
        <translation>Параметры задач</translation>
    </message>
    <message>
        <source>Task name</source>
        <translation>Название задачи</translation>
    </message>
    <message>
        <source>Command string</source>
        <translation>Командная строка</translation>
    </message>
    <message>
        <source>Startup directory</source>
        <translation>Рабочий каталог</translation>
    </message>
    <message>
        <source>Launch interval</source>
        <translation>Периодичность запуска</translation>
    </message>
    <message>
        <source>Run type</source>
        <translation>Режим запуска</translation>
    </message>
    <message>
        <source>Run priority</source>
        <translation>Приоритет</translation>
    </message>
    <message>
        <source>Interrupt pending</source>
        <translation>Прерывать незавершённый запуск</translation>
    </message>
    <message>
        <source>Wait if resource(s) busy</source>
        <translation>Ждать, если ресурсы заняты</translation>
    </message>
    <message>
        <source>Launch condition</source>
        <translation>Условие запуска</translation>
    </message>
    <message>
        <source>Terminate condition</source>
        <translation>Условие завершения</translation>
    </message>
    <message>
        <source>Conflicting resources</source>
        <translation>Конфликтующие ресурсы</translation>
    </message>
    <message>
        <source>Normal</source>
        <translation>Обычный</translation>
    </message>
    <message>
        <source>Hided</source>
        <translation>Скрытый</translation>
    </message>
    <message>
        <source>Minimized</source>
        <translation>Свёрнутый</translation>
    </message>
    <message>
        <source>Maximized</source>
        <translation>Развёрнутый</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Низкий</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Высокий</translation>
    </message>
    <message>
        <source>Real time</source>
        <translation>Реального времени</translation>
    </message>
    <message>
        <source>Launch every minute</source>
        <translation>Запуск каждую минуту</translation>
    </message>
    <message>
        <source>Launch every hour</source>
        <translation>Запуск каждый час</translation>
    </message>
    <message>
        <source>Launch everyday</source>
        <translation>Запуск ежедневно</translation>
    </message>
    <message>
        <source>Launch weekly</source>
        <translation>Запуск еженедельно</translation>
    </message>
    <message>
        <source>Launch every year</source>
        <translation>Запуск ежегодно</translation>
    </message>
    <message>
        <source>Time of first launch (min)</source>
        <translation>Первый запуск (мин)</translation>
    </message>
    <message>
        <source>Work stop time (min)</source>
        <translation>Окончание работы (мин)</translation>
    </message>
    <message>
        <source>Repeat interval (min)</source>
        <translation>Интервал повтора (мин)</translation>
    </message>
    <message>
        <source>Time of first launch</source>
        <translation>Время первого запуска</translation>
    </message>
    <message>
        <source>Work stop time</source>
        <translation>Время окончания работы</translation>
    </message>
    <message>
        <source>First launch at</source>
        <translation>Первый запуск в</translation>
    </message>
    <message>
        <source>Stop at</source>
        <translation>Окончание в</translation>
    </message>
    <message>
        <source>First launch (day/time)</source>
        <translation>Первый запуск (день/время)</translation>
    </message>
    <message>
        <source>Work stop time (day/time)</source>
        <translation>Окончание работы (день/время)</translation>
    </message>
    <message>
        <source>First launch (date/time)</source>
        <translation>Первый запуск (дата/время)</translation>
    </message>
    <message>
        <source>Work stop time (date/time)</source>
        <translation>Окончание работы (дата/время)</translation>
    </message>
    <message>
        <source>Only digit characters allowed !</source>
        <translation>Допускаются только цифры!</translation>
    </message>
    <message>
        <source>Time cannot be greater than 60 min. !</source>
        <translation>Время не может быть больше 60 мин.!</translation>
    </message>
    <message>
        <source>Day of month cannot be greater than 31 !</source>
        <translation>День месяца не может быть больше 31!</translation>
    </message>
    <message>
        <source>Error in launch or termination condition notation !</source>
        <translation>Ошибка в записи условия запуска или завершения!</translation>
    </message>
    <message>
        <source>Common work exceptions</source>
        <translation>Периоды тишины</translation>
    </message>
    <message>
        <source>Exception interval :</source>
        <translation>Периодичность тишины:</translation>
    </message>
    <message>
        <source>Every minute exception</source>
        <translation>Постоянная тишина</translation>
    </message>
    <message>
        <source>Work exception every hour</source>
        <translation>Ежечасный период тишины</translation>
    </message>
    <message>
        <source>Everyday work exception</source>
        <translation>Ежедневный период тишины</translation>
    </message>
    <message>
        <source>Every week work exception</source>
        <translation>Еженедельный период тишины</translation>
    </message>
    <message>
        <source>Every month work exception</source>
        <translation>Ежемесячный период тишины</translation>
    </message>
    <message>
        <source>Work exception one time in a year</source>
        <translation>Ежегодный период тишины</translation>
    </message>
    <message>
        <source>Exception starts at a minute</source>
        <translation>Начало тишины, минута</translation>
    </message>
    <message>
        <source>Exception ends at a minute</source>
        <translation>Конец тишины, минута</translation>
    </message>
    <message>
        <source>Work exception starts at</source>
        <translation>Начало тишины в</translation>
    </message>
    <message>
        <source>Work exception ends at</source>
        <translation>Конец тишины в</translation>
    </message>
    <message>
        <source>Work exception starts at (date/time)</source>
        <translation>Начало тишины (день/время)</translation>
    </message>
    <message>
        <source>Work exception ends at (date/time)</source>
        <translation>Конец тишины (день/время)</translation>
    </message>
    <message>
        <source>Exception starts at (date/time)</source>
        <translation>Начало тишины (дата/время)</translation>
    </message>
    <message>
        <source>Exception ends at (date/time)</source>
        <translation>Конец тишины (дата/время)</translation>
    </message>
    <message>
        <source>Available conflicting resources</source>
        <translation>Доступные конфликтующие ресурсы</translation>
    </message>
    <message>
        <source>Conflicting resource number :</source>
        <translation>Номер конфликтующего ресурса:</translation>
    </message>
    <message>
        <source>Conflicting resource name :</source>
        <translation>Название конфликтующего ресурса:</translation>
    </message>
    <message>
        <source>Maximum waiting time :</source>
        <translation>Наибольшее время ожидания:</translation>
    </message>
    <message>
        <source>Number</source>
        <translation>Номер</translation>
    </message>
    <message>
        <source>Conflicting resource name</source>
        <translation>Название конфликтующего ресурса</translation>
    </message>
    <message>
        <source>Waiting time</source>
        <translation>Время ожидания</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Задачи</translation>
    </message>
    <message>
        <source>Exceptions</source>
        <translation>Тишина</translation>
    </message>
    <message>
        <source>Task ID :</source>
        <translation>Код задачи:</translation>
    </message>
    <message>
        <source>Task name :</source>
        <translation>Название задачи:</translation>
    </message>
    <message>
        <source>Command string :</source>
        <translation>Командная строка:</translation>
    </message>
    <message>
        <source>Startup directory :</source>
        <translation>Рабочий каталог:</translation>
    </message>
    <message>
        <source>Launch interval :</source>
        <translation>Периодичность запуска:</translation>
    </message>
    <message>
        <source>Run type :</source>
        <translation>Режим запуска:</translation>
    </message>
    <message>
        <source>Last execution time :</source>
        <translation>Последнее событие:</translation>
    </message>
    <message>
        <source>Status :</source>
        <translation>Состояние:</translation>
    </message>
    <message>
        <source>Conflicting resources :</source>
        <translation>Конфликтующие ресурсы:</translation>
    </message>
    <message>
        <source>Start condition :</source>
        <translation>Условие запуска:</translation>
    </message>
    <message>
        <source>Termination condition :</source>
        <translation>Условие завершения:</translation>
    </message>
    <message>
        <source>Every minute.</source>
        <translation>Каждую минуту.</translation>
    </message>
    <message>
        <source>Every hour, beginning from %s minute to %s minute with an interval of %s minute.</source>
        <translation>Каждый час, с %s по %s минуту с интервалом %s мин.</translation>
    </message>
    <message>
        <source>Every day, beginning from %s to %s with an interval of %s minute.</source>
        <translation>Ежедневно, с %s до %s с интервалом %s мин.</translation>
    </message>
    <message>
        <source>Weekly %s from %s to %s with an interval of %s minute.</source>
        <translation>Еженедельно %s с %s до %s с интервалом %s мин.</translation>
    </message>
    <message>
        <source>Every month on %s days, beginning from %s to %s with an interval of %s minute.</source>
        <translation>Ежемесячно, %s числа, с %s до %s с интервалом %s мин.</translation>
    </message>
    <message>
        <source>Every year, beginning from %s %s to %s %s with an interval of %s minute.</source>
        <translation>Ежегодно, с %s %s до %s %s с интервалом %s мин.</translation>
    </message>
    <message>
        <source>on mondays</source>
        <translation>по понедельникам</translation>
    </message>
    <message>
        <source>on tuesdays</source>
        <translation>по вторникам</translation>
    </message>
    <message>
        <source>on wednesdays</source>
        <translation>по средам</translation>
    </message>
    <message>
        <source>on thursdays</source>
        <translation>по четвергам</translation>
    </message>
    <message>
        <source>on fridays</source>
        <translation>по пятницам</translation>
    </message>
    <message>
        <source>on saturdays</source>
        <translation>по субботам</translation>
    </message>
    <message>
        <source>on sundays</source>
        <translation>по воскресеньям</translation>
    </message>
    <message>
        <source>, interrupt pending</source>
        <translation>, прерывать незавершённую</translation>
    </message>
    <message>
        <source>No conflicts</source>
        <translation>Нет конфликтов</translation>
    </message>
    <message>
        <source>, wait of a resource liberation</source>
        <translation>, ждать освобождения ресурса</translation>
    </message>
    <message>
        <source>What exception</source>
        <translation>Период тишины</translation>
    </message>
    <message>
        <source>Time period of exception</source>
        <translation>Время тишины</translation>
    </message>
    <message>
        <source>Every day</source>
        <translation>Ежедневно</translation>
    </message>
    <message>
        <source>from %d minute to %d minute</source>
        <translation>с %d по %d минуту</translation>
    </message>
    <message>
        <source>from %s to %s</source>
        <translation>с %s до %s</translation>
    </message>
    <message>
        <source>on %d</source>
        <translation>%d числа</translation>
    </message>
    <message>
        <source>Nothing to print: the table has no records.</source>
        <translation>Печатать нечего: в таблице нет записей.</translation>
    </message>
    <message>
        <source>Save as PDF...</source>
        <translation>Сохранить в PDF...</translation>
    </message>
    <message>
        <source>PDF files (*.pdf)</source>
        <translation>Файлы PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Task</source>
        <translation>Задача</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Дата</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Время</translation>
    </message>
    <message>
        <source>           Completing status</source>
        <translation>           Состояние завершения</translation>
    </message>
    <message>
        <source>Tasks parameters editing</source>
        <translation>Правка параметров задач</translation>
    </message>
    <message>
        <source>Conflicts</source>
        <translation>Ресурсы</translation>
    </message>
    <message>
        <source>Conflicting resources editing</source>
        <translation>Правка конфликтующих ресурсов</translation>
    </message>
    <message>
        <source>Editing of &quot;silence&quot; periods</source>
        <translation>Правка периодов тишины</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>Протокол</translation>
    </message>
    <message>
        <source>Protocol view</source>
        <translation>Просмотр протокола</translation>
    </message>
    <message>
        <source>Program exit</source>
        <translation>Выход из программы</translation>
    </message>
    <message>
        <source>Run now</source>
        <translation>Запустить сейчас</translation>
    </message>
    <message>
        <source>Interrupt execution</source>
        <translation>Прервать выполнение</translation>
    </message>
    <message>
        <source>Cancel waiting</source>
        <translation>Отменить ожидание</translation>
    </message>
    <message>
        <source>Unhide</source>
        <translation>Показать окно</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Скрыть окно</translation>
    </message>
    <message>
        <source>Suspend</source>
        <translation>Приостановить</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Возобновить</translation>
    </message>
    <message>
        <source>Show main form</source>
        <translation>Показать главное окно</translation>
    </message>
    <message>
        <source>Show main window</source>
        <translation>Показать главное окно</translation>
    </message>
    <message>
        <source>Hide main window</source>
        <translation>Скрыть главное окно</translation>
    </message>
    <message>
        <source>Program work protocol</source>
        <translation>Протокол работы программы</translation>
    </message>
    <message>
        <source>Clear, storing</source>
        <translation>Очистить, оставив</translation>
    </message>
    <message>
        <source>days</source>
        <translation>дн.</translation>
    </message>
    <message>
        <source>There is no notification area to keep Vektrin in: closing this window ends the program. Exit?</source>
        <translation>Нет области уведомлений, где мог бы оставаться Vektrin: закрытие этого окна завершит программу. Выйти?</translation>
    </message>
    <message>
        <source>The protocol was not cleared and keeps all its lines. </source>
        <translation>Протокол не очищен и сохраняет все свои строки. </translation>
    </message>
    <message>
        <source>The protocol file cannot be opened for appending: %s: %s</source>
        <translation>Файл протокола не открывается для дописывания: %s: %s</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Информация</translation>
    </message>
    <message>
        <source>Timeline...</source>
        <translation>График запусков...</translation>
    </message>
    <message>
        <source>Timeline</source>
        <translation>График запусков</translation>
    </message>
    <message>
        <source>24 hours</source>
        <translation>24 часа</translation>
    </message>
    <message>
        <source>7 days</source>
        <translation>7 дней</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Save as SVG...</source>
        <translation>Сохранить как SVG...</translation>
    </message>
    <message>
        <source>Print...</source>
        <translation>Печать...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>SVG files (*.svg)</source>
        <translation>Файлы SVG (*.svg)</translation>
    </message>
    <message>
        <source>Cannot write %s: %s</source>
        <translation>Не удаётся записать %s: %s</translation>
    </message>
    <message>
        <source>The task table is being edited: the timeline is read again when the editing ends.</source>
        <translation>Таблица задач редактируется: график будет перечитан, когда редактирование закончится.</translation>
    </message>
    <message>
        <source>Click a task&apos;s lane to select it in the main window.</source>
        <translation>Щёлкните по строке задачи, чтобы выбрать её в главном окне.</translation>
    </message>
    <message>
        <source>Timeline from %s to %s</source>
        <translation>График запусков с %s по %s</translation>
    </message>
    <message>
        <source>page %s of %s</source>
        <translation>страница %s из %s</translation>
    </message>
    <message>
        <source>No task is due in this period.</source>
        <translation>В этот период нет запусков задач.</translation>
    </message>
    <message>
        <source>There are no tasks to show.</source>
        <translation>Нет задач для показа.</translation>
    </message>
    <message>
        <source> (stopped)</source>
        <translation> (приостановлена)</translation>
    </message>
    <message>
        <source>window</source>
        <translation>окно</translation>
    </message>
    <message>
        <source>launch</source>
        <translation>запуск</translation>
    </message>
    <message>
        <source>launches closer than the eye can part</source>
        <translation>запуски чаще, чем можно различить</translation>
    </message>
    <message>
        <source>only if its launch condition holds</source>
        <translation>только если выполнено условие запуска</translation>
    </message>
    <message>
        <source>silence period</source>
        <translation>период тишины</translation>
    </message>
    <message>
        <source>resource conflict</source>
        <translation>конфликт ресурсов</translation>
    </message>
    <message>
        <source>launch if its condition holds</source>
        <translation>запуск, если выполнено условие</translation>
    </message>
    <message>
        <source>made-up launch of the missed %s</source>
        <translation>восполнение запуска, пропущенного %s</translation>
    </message>
    <message>
        <source>Made-up launch of the missed %s</source>
        <translation>Восполнение запуска, пропущенного %s</translation>
    </message>
    <message>
        <source>made-up launch</source>
        <translation>восполненный запуск</translation>
    </message>
    <message>
        <source>Monday</source>
        <comment>timeline</comment>
        <translation>понедельник</translation>
    </message>
    <message>
        <source>Tuesday</source>
        <comment>timeline</comment>
        <translation>вторник</translation>
    </message>
    <message>
        <source>Wednesday</source>
        <comment>timeline</comment>
        <translation>среда</translation>
    </message>
    <message>
        <source>Thursday</source>
        <comment>timeline</comment>
        <translation>четверг</translation>
    </message>
    <message>
        <source>Friday</source>
        <comment>timeline</comment>
        <translation>пятница</translation>
    </message>
    <message>
        <source>Saturday</source>
        <comment>timeline</comment>
        <translation>суббота</translation>
    </message>
    <message>
        <source>Sunday</source>
        <comment>timeline</comment>
        <translation>воскресенье</translation>
    </message>
    <message>
        <source>window begins</source>
        <translation>начало окна</translation>
    </message>
    <message>
        <source>window ends</source>
        <translation>конец окна</translation>
    </message>
    <message>
        <source>silence begins (%s)</source>
        <translation>начало периода тишины (%s)</translation>
    </message>
    <message>
        <source>silence ends (%s)</source>
        <translation>конец периода тишины (%s)</translation>
    </message>
    <message>
        <source>always</source>
        <translation>всегда</translation>
    </message>
    <message>
        <source>skipped: %s held by &lt;%s&gt;</source>
        <translation>пропущена: %s занят задачей &lt;%s&gt;</translation>
    </message>
    <message>
        <source>waits up to %s min: %s held by &lt;%s&gt;</source>
        <translation>ждёт до %s мин: %s занят задачей &lt;%s&gt;</translation>
    </message>
    <message>
        <source>waits until the next pass: %s held by &lt;%s&gt;</source>
        <translation>ждёт до следующего прохода: %s занят задачей &lt;%s&gt;</translation>
    </message>
    <message>
        <source> (if the launch conditions hold)</source>
        <translation> (если выполнены условия запуска)</translation>
    </message>
    <message>
        <source>%s launches from %s to %s</source>
        <translation>запусков: %s, с %s по %s</translation>
    </message>
    <message>
        <source>%s conflicts from %s to %s</source>
        <translation>конфликтов: %s, с %s по %s</translation>
    </message>
    <message>
        <source>The period must end after it begins: from %s to %s.</source>
        <translation>Период должен заканчиваться позже, чем начинается: с %s по %s.</translation>
    </message>
    <message>
        <source>The period from %s to %s is longer than 31 days.</source>
        <translation>Период с %s по %s длиннее 31 дня.</translation>
    </message>
    <message>
        <source>The period from %s to %s lies outside the dates the tables hold (1899-12-30 to 9999-12-31).</source>
        <translation>Период с %s по %s выходит за даты, которые хранят таблицы (с 1899-12-30 по 9999-12-31).</translation>
    </message>
    <message>
        <source>Output...</source>
        <translation>Вывод...</translation>
    </message>
    <message>
        <source>Output of &lt;%s&gt;</source>
        <translation>Вывод задачи &lt;%s&gt;</translation>
    </message>
    <message>
        <source>No output of this task has been kept.</source>
        <translation>Вывод этой задачи не сохранялся.</translation>
    </message>
    <message>
        <source>The output cannot be read: </source>
        <translation>Вывод не удаётся прочитать: </translation>
    </message>
    <message>
        <source>Kept runs</source>
        <translation>Сохранённые запуски</translation>
    </message>
    <message>
        <source>The protocol %s takes no more lines: %s. They are kept in memory until it takes them again.</source>
        <translation>Протокол %s больше не принимает строк: %s. Они хранятся в памяти, пока он не примет их снова.</translation>
    </message>
    <message>
        <source>The protocol %s takes lines again.</source>
        <translation>Протокол %s снова принимает строки.</translation>
    </message>
    <message>
        <source>%s lines never reached the protocol %s: %s.</source>
        <translation>Потеряно строк: %s — протокол %s их не принял: %s.</translation>
    </message>
    <message>
        <source>The table file %s cannot be examined: %s</source>
        <translation>Файл таблицы %s не удаётся проверить: %s</translation>
    </message>
    <message>
        <source>The table file %s is a symbolic link to %s, which does not exist</source>
        <translation>Файл таблицы %s — символическая ссылка на несуществующий %s</translation>
    </message>
    <message>
        <source>The table file %s is a directory, not a table file</source>
        <translation>Файл таблицы %s — это каталог, а не файл таблицы</translation>
    </message>
    <message>
        <source>The table file %s is not a regular file</source>
        <translation>Файл таблицы %s — не обычный файл</translation>
    </message>
    <message>
        <source>The table file %s belongs to the user %s, not to %s; it was left untouched</source>
        <translation>Файл таблицы %s принадлежит пользователю %s, а не %s; он оставлен без изменений</translation>
    </message>
    <message>
        <source>The table file %s is read-only; it was left untouched</source>
        <translation>Файл таблицы %s доступен только для чтения; он оставлен без изменений</translation>
    </message>
    <message>
        <source>The table file %s cannot be read: %s</source>
        <translation>Файл таблицы %s не читается: %s</translation>
    </message>
    <message>
        <source>The table file %s is not a table file of this program; it was left untouched</source>
        <translation>Файл %s — не файл таблицы этой программы; он оставлен без изменений</translation>
    </message>
    <message>
        <source>The table directory %s does not exist: %s</source>
        <translation>Каталог таблиц %s не существует: %s</translation>
    </message>
    <message>
        <source>The table directory %s is not a directory</source>
        <translation>Каталог таблиц %s — не каталог</translation>
    </message>
    <message>
        <source>The table directory %s is not writable: %s</source>
        <translation>Каталог таблиц %s недоступен для записи: %s</translation>
    </message>
    <message>
        <source>The table directory %s cannot be read: %s</source>
        <translation>Каталог таблиц %s не читается: %s</translation>
    </message>
    <message>
        <source>The table file %s lacks the column &quot;%s&quot;; a writing command adds it, this one reads only</source>
        <translation>В файле таблицы %s нет столбца «%s»; его добавит команда, которая пишет, эта только читает</translation>
    </message>
    <message>
        <source>The table file %s is empty while the other table files hold their tables: it looks damaged; it was left untouched</source>
        <translation>Файл таблицы %s пуст, хотя другие файлы таблиц содержат свои таблицы: похоже, он повреждён; он оставлен без изменений</translation>
    </message>
    <message>
        <source>The table file %s cannot be opened: %s</source>
        <translation>Файл таблицы %s не открывается: %s</translation>
    </message>
    <message>
        <source>The table file %s is held in write-ahead mode by another program that has it open; it was left as it is</source>
        <translation>Файл таблицы %s открыт другой программой в режиме упреждающей записи; он оставлен как есть</translation>
    </message>
    <message>
        <source>The table file %s has a change left half done beside it (%s), which only a program that may write the file can undo</source>
        <translation>Рядом с файлом таблицы %s осталось незавершённое изменение (%s); отменить его может только программа с правом записи в файл</translation>
    </message>
    <message>
        <source>The table file %s holds the %s &quot;%s&quot;: it is not a table file of this program; it was left untouched</source>
        <translation>Файл %s содержит объект %s «%s»: это не файл таблицы этой программы; он оставлен без изменений</translation>
    </message>
    <message>
        <source>The table file %s has the column &quot;%s&quot;, which is not one of %s&apos;s: it is not a table file of this program; it was left untouched</source>
        <translation>В файле %s есть столбец «%s», которого нет в таблице %s: это не файл таблицы этой программы; он оставлен без изменений</translation>
    </message>
    <message>
        <source>The table file %s lacks the column &quot;%s&quot;, which cannot be added: it is not a table file of this program; it was left untouched</source>
        <translation>В файле %s нет столбца «%s», и добавить его нельзя: это не файл таблицы этой программы; он оставлен без изменений</translation>
    </message>
    <message>
        <source>Delete record?</source>
        <comment>task editor</comment>
        <translation>Удалить задачу?</translation>
    </message>
    <message>
        <source>Everyday</source>
        <comment>task editor</comment>
        <translation>Ежедневный запуск</translation>
    </message>
    <message>
        <source>Weekly</source>
        <comment>task editor</comment>
        <translation>Еженедельный запуск</translation>
    </message>
    <message>
        <source>Every month</source>
        <comment>task editor</comment>
        <translation>Ежемесячный запуск</translation>
    </message>
    <message>
        <source>Every year</source>
        <comment>task editor</comment>
        <translation>Ежегодный запуск</translation>
    </message>
    <message>
        <source>Exit</source>
        <comment>viewer</comment>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Catch up a missed launch</source>
        <translation>Выполнить пропущенный запуск</translation>
    </message>
    <message>
        <source>, a missed launch is made up</source>
        <translation>, пропущенный запуск выполняется позже</translation>
    </message>
    <message>
        <source>Run on</source>
        <translation>Станция запуска</translation>
    </message>
    <message>
        <source>any workstation; * for each of them</source>
        <translation>любая станция; * — каждая из них</translation>
    </message>
    <message>
        <source>Run on: a host name of letters, digits, &apos;-&apos; and &apos;.&apos; (at most 64 characters), or * !</source>
        <translation>Станция запуска: имя узла из букв, цифр, &apos;-&apos; и &apos;.&apos; (не более 64 символов) или * !</translation>
    </message>
    <message>
        <source>Run on :</source>
        <translation>Станция запуска:</translation>
    </message>
    <message>
        <source>each workstation</source>
        <translation>каждая станция</translation>
    </message>
    <message>
        <source>Cannot make the directory %s: %s</source>
        <translation>Не удаётся создать каталог %s: %s</translation>
    </message>
    <message>
        <source>Cannot use the directory %s: %s</source>
        <translation>Не удаётся использовать каталог %s: %s</translation>
    </message>
    <message>
        <source>The directory %s cannot be written as a path= line of the aliases file</source>
        <translation>Путь к каталогу %s нельзя записать в строку файла псевдонимов</translation>
    </message>
    <message>
        <source>The Vektrin program could not start: %s</source>
        <translation>Программа Vektrin не смогла запуститься: %s</translation>
    </message>
    <message>
        <source>Cannot read the aliases file %s: %s</source>
        <translation>Не удаётся прочитать файл псевдонимов %s: %s</translation>
    </message>
    <message>
        <source>Cannot read the aliases file %s: it is a link to %s, which does not exist</source>
        <translation>Не удаётся прочитать файл псевдонимов %s: это ссылка на несуществующий %s</translation>
    </message>
    <message>
        <source>Cannot read the aliases file %s: it is larger than %s MiB</source>
        <translation>Не удаётся прочитать файл псевдонимов %s: он больше %s МиБ</translation>
    </message>
    <message>
        <source>Cannot read the aliases file %s: line %s is longer than 64 KiB</source>
        <translation>Не удаётся прочитать файл псевдонимов %s: строка %s длиннее 64 КиБ</translation>
    </message>
    <message>
        <source>Cannot write the aliases file %s: %s</source>
        <translation>Не удаётся записать файл псевдонимов %s: %s</translation>
    </message>
    <message>
        <source>Cannot write the aliases file %s: it is a link to %s, which does not exist</source>
        <translation>Не удаётся записать файл псевдонимов %s: это ссылка на несуществующий %s</translation>
    </message>
    <message>
        <source>Cannot read the settings file %s: %s</source>
        <translation>Не удаётся прочитать файл настроек %s: %s</translation>
    </message>
    <message>
        <source>Cannot read the settings file %s: it is a link to %s, which does not exist</source>
        <translation>Не удаётся прочитать файл настроек %s: это ссылка на несуществующий %s</translation>
    </message>
    <message>
        <source>Cannot read the settings file %s: it is larger than %s MiB</source>
        <translation>Не удаётся прочитать файл настроек %s: он больше %s МиБ</translation>
    </message>
    <message>
        <source>Cannot read the settings file %s: line %s is longer than 64 KiB</source>
        <translation>Не удаётся прочитать файл настроек %s: строка %s длиннее 64 КиБ</translation>
    </message>
    <message>
        <source>Cannot write the settings file %s: %s</source>
        <translation>Не удаётся записать файл настроек %s: %s</translation>
    </message>
    <message>
        <source>Cannot write the settings file %s: it is a link to %s, which does not exist</source>
        <translation>Не удаётся записать файл настроек %s: это ссылка на несуществующий %s</translation>
    </message>
    <message>
        <source>Cannot create the directory %s: %s</source>
        <translation>Не удаётся создать каталог %s: %s</translation>
    </message>
    <message>
        <source>Cannot keep the name &quot;%s&quot; with the value &quot;%s&quot; in the settings file %s</source>
        <translation>Имя «%s» со значением «%s» нельзя сохранить в файле настроек %s</translation>
    </message>
    <message>
        <source>A value is required</source>
        <translation>Требуется значение</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a whole number</source>
        <translation>&apos;%s&apos; не является целым числом</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is not a number</source>
        <translation>&apos;%s&apos; не является числом</translation>
    </message>
    <message>
        <source>&apos;%s&apos; is neither True nor False</source>
        <translation>&apos;%s&apos; не является логическим значением</translation>
    </message>
    <message>
        <source>%s is outside the allowed range %s to %s</source>
        <translation>%s вне допустимого диапазона от %s до %s</translation>
    </message>
    <message>
        <source>At most %s characters</source>
        <translation>Не более %s символов</translation>
    </message>
    <message>
        <source>At most %s</source>
        <translation>Не более %s</translation>
    </message>
    <message>
        <source>Cannot remove %s: %s</source>
        <translation>Не удаётся удалить %s: %s</translation>
    </message>
    <message>
        <source>Cannot read %s: %s</source>
        <translation>Не удаётся прочитать %s: %s</translation>
    </message>
    <message>
        <source>Cannot create %s: %s</source>
        <translation>Не удаётся создать %s: %s</translation>
    </message>
    <message>
        <source>Cannot lock %s: %s</source>
        <translation>Не удаётся заблокировать %s: %s</translation>
    </message>
    <message>
        <source>Cannot replace %s: %s</source>
        <translation>Не удаётся заменить %s: %s</translation>
    </message>
    <message>
        <source>Cannot write to %s: %s</source>
        <translation>Не удаётся записать в %s: %s</translation>
    </message>
</context>
</TS>
